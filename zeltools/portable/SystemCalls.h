// The system calls of the portability layer, gathered in one table.
//
// Every file and process operation of ZelTools::Portable reaches the system
// through calls(), so a test can make one call fail (or observe it) without a
// broken machine: it installs a replacement table with a ScopedCalls object,
// which puts the previous table back when it ends.
//
// Lifetime and locking: the table is a process-wide value that starts as the
// real system calls. It is read without a lock; it may be replaced only while
// no other thread uses the portability layer (in practice: by single-threaded
// tests), so plain reads suffice.
#ifndef VANTREL_ZELTOOLS_PORTABLE_SYSTEMCALLS_H
#define VANTREL_ZELTOOLS_PORTABLE_SYSTEMCALLS_H

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>

namespace ZelTools {
namespace Portable {
namespace System {

struct Calls {
  int (*open)(const char* path, int flags, mode_t mode);
  ssize_t (*read)(int fd, void* buffer, std::size_t count);
  ssize_t (*write)(int fd, const void* buffer, std::size_t count);
  int (*close)(int fd);
  int (*fstat)(int fd, struct stat* info);
  int (*mkdir)(const char* path, mode_t mode);
  int (*unlink)(const char* path);
  ssize_t (*readlink)(const char* path, char* buffer, std::size_t size);
};

// The table in use.
Calls const& calls();
// The real system calls.
Calls const& real_calls();

// Installs a replacement table for its lifetime (tests only, see above).
class ScopedCalls {
 public:
  explicit ScopedCalls(Calls const& replacement);
  ~ScopedCalls();
  ScopedCalls(ScopedCalls const&) = delete;
  ScopedCalls& operator=(ScopedCalls const&) = delete;

 private:
  Calls saved_;
};

// read() and write() retried on EINTR; write_all() also retries short writes.
ssize_t read_retrying(int fd, void* buffer, std::size_t count);
bool write_all(int fd, const char* data, std::size_t count);

}  // namespace System
}  // namespace Portable
}  // namespace ZelTools

#endif
