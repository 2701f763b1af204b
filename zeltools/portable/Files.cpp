#include <fcntl.h>
#include <sys/stat.h>

#include "ZelTools/Portable.h"
#include "zeltools/portable/SystemCalls.h"

namespace ZelTools {
namespace Portable {
namespace {

using System::calls;

// Closes a descriptor at the end of a scope.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(FileDescriptor const&) = delete;
  FileDescriptor& operator=(FileDescriptor const&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now; true when close() succeeded. Closing twice is harmless.
  bool close() {
    if (fd_ < 0) return true;
    int result = calls().close(fd_);
    fd_ = -1;
    return result == 0;
  }

 private:
  int fd_;
};

bool is_directory(int fd) {
  struct stat info;
  return calls().fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

// Copies everything readable from in to out.
bool copy_contents(int in, int out) {
  char block[64 * 1024];
  for (;;) {
    ssize_t got = System::read_retrying(in, block, sizeof block);
    if (got == 0) return true;
    if (got < 0) return false;
    if (!System::write_all(out, block, static_cast<std::size_t>(got))) return false;
  }
}

mode_t permissions_of(int fd) {
  struct stat info;
  if (calls().fstat(fd, &info) != 0) return 0666;
  return info.st_mode & 07777;
}

}  // namespace

bool exists_file(std::string const& path) {
  // O_NONBLOCK: a FIFO must not block the caller; it still counts as readable.
  FileDescriptor fd(calls().open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC, 0));
  return fd.valid() && !is_directory(fd.get());
}

bool copy_file(std::string const& from, std::string const& to) {
  FileDescriptor in(calls().open(from.c_str(), O_RDONLY | O_CLOEXEC, 0));
  if (!in.valid() || is_directory(in.get())) return false;
  // O_EXCL: an existing target (a dangling symbolic link included) is refused
  // and left as it is.
  FileDescriptor out(
      calls().open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, permissions_of(in.get())));
  if (!out.valid()) return false;
  bool copied = copy_contents(in.get(), out.get());
  // close() reports delayed write errors (e.g. a full disk on network file
  // systems), so its result counts; the descriptor is closed either way.
  bool closed = out.close();
  if (copied && closed) return true;
  // The target is ours (O_EXCL): remove the partial copy.
  calls().unlink(to.c_str());
  return false;
}

bool unlink(std::string const& path) { return calls().unlink(path.c_str()) == 0; }

bool mkdir(std::string const& path) { return calls().mkdir(path.c_str(), 0777) == 0; }

ifstream::ifstream() {}

ifstream::ifstream(char const* const path) : std::ifstream(path) {}

ifstream::~ifstream() {}

}  // namespace Portable
}  // namespace ZelTools
