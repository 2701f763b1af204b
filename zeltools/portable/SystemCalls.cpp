#include "zeltools/portable/SystemCalls.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace ZelTools {
namespace Portable {
namespace System {
namespace {

// open() is variadic; the table wants a fixed signature.
int open_file(const char* path, int flags, mode_t mode) { return ::open(path, flags, mode); }

constexpr Calls system_calls = {&open_file, &::read,  &::write,  &::close,
                                &::fstat,   &::mkdir, &::unlink, &::readlink};

// Replaced only by single-threaded tests (see the header); plain reads.
Calls current_calls = system_calls;

}  // namespace

Calls const& calls() { return current_calls; }

Calls const& real_calls() { return system_calls; }

ScopedCalls::ScopedCalls(Calls const& replacement) : saved_(current_calls) {
  current_calls = replacement;
}

ScopedCalls::~ScopedCalls() { current_calls = saved_; }

ssize_t read_retrying(int fd, void* buffer, std::size_t count) {
  ssize_t got;
  do {
    got = calls().read(fd, buffer, count);
  } while (got < 0 && errno == EINTR);
  return got;
}

bool write_all(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    ssize_t put = calls().write(fd, data, count);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    data += put;
    count -= static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace System
}  // namespace Portable
}  // namespace ZelTools
