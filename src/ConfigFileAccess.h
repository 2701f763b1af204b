// Reading a destination's configuration file, which the library runs as a
// program with the host's rights (system(...) included): only a file that
// nobody but root and the host's own user can have written is read.
//
// A file is accepted when it is a regular file (not a symbolic link, FIFO,
// device or directory), owned by root or by the process's effective user,
// writable by neither its group nor others, in a directory that others
// cannot write unless it is sticky (as /tmp is). A process running with
// privileges its caller lacks (setuid or setgid) also refuses a relative
// path, which would name a file in the caller's current directory.
//
// A refused file is not read, and one line on standard error says why, once
// per file and reason:
//   "vantrel: configuration file ./server_trace.ini not read: writable by group or others"
// A missing file is not an error and is not reported.
//
// Plain functions; the caller (a settings re-read) holds the settings mutex,
// and the reporting is thread-safe on its own.
#ifndef VANTREL_SRC_CONFIGFILEACCESS_H
#define VANTREL_SRC_CONFIGFILEACCESS_H

#include <sys/stat.h>
#include <sys/types.h>

#include <streambuf>
#include <string>

namespace Vantrel {
namespace ConfigFileAccess {

// Why a file with status `file` in a directory with status `directory` may
// not be run by a process of effective user `euid`; empty when it may.
//   regular, uid 0, mode 0644, directory 0755          => ""
//   mode 0664                                          => "writable by group or others"
//   uid 65534 (euid 0)                                 => "owned by uid 65534, not by root or uid
//   0" directory 0777 without the sticky bit              => "in a directory others can write"
std::string refusal(const struct stat& file, const struct stat& directory, uid_t euid);

// Opens `path` for reading when it may be run (above). Returns the
// descriptor (close on exec), or -1: missing, or refused (then reported).
int open_checked(const std::string& path);

// An input buffer reading a descriptor it owns and closes.
class DescriptorBuffer : public std::streambuf {
 public:
  explicit DescriptorBuffer(int fd) : fd_(fd) {}
  ~DescriptorBuffer() override;
  // A read failed (the input then ended early).
  bool failed() const { return failed_; }
  DescriptorBuffer(const DescriptorBuffer&) = delete;
  DescriptorBuffer& operator=(const DescriptorBuffer&) = delete;

 protected:
  int_type underflow() override;

 private:
  int fd_;
  bool failed_ = false;
  char block_[4096];
};

}  // namespace ConfigFileAccess
}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIGFILEACCESS_H
