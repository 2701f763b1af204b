#include "OwnFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Vantrel {
namespace OwnFile {

namespace {

int open_retrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Closes `fd` and fails with `error`, keeping that errno.
int fail(int fd, int error) {
  ::close(fd);
  errno = error;
  return -1;
}

bool is_same_regular_file(int fd, const Identity& identity) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_dev == identity.device &&
         info.st_ino == identity.inode;
}

}  // namespace

int create(const std::string& path, Identity& identity) {
  // O_EXCL with O_CREAT refuses any existing name, a dangling link included;
  // O_NOFOLLOW and O_NONBLOCK only matter if a system ignored O_EXCL.
  const int fd =
      open_retrying(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK,
                    creation_mode);
  if (fd < 0) return -1;
  struct stat info;
  if (::fstat(fd, &info) != 0) return fail(fd, errno);
  if (!S_ISREG(info.st_mode)) return fail(fd, EEXIST);
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  return fd;
}

int reopen(const std::string& path, const Identity& identity) {
  // An O_PATH descriptor names what is at `path` without opening it, so a
  // FIFO or device swapped in is never opened; O_NOFOLLOW makes a link show
  // as itself. Only once it is known to be our file is it opened for
  // writing, through /proc, which reaches exactly that inode.
  const int where = open_retrying(path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  if (where < 0) return -1;
  if (!is_same_regular_file(where, identity)) return fail(where, ESTALE);
  const std::string by_descriptor = "/proc/self/fd/" + std::to_string(where);
  const int fd =
      open_retrying(by_descriptor.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NONBLOCK, 0);
  const int error = errno;
  ::close(where);
  if (fd < 0) {
    errno = error;
    return -1;
  }
  if (!is_same_regular_file(fd, identity)) return fail(fd, ESTALE);
  return fd;
}

}  // namespace OwnFile
}  // namespace Vantrel
