#include "ConfigFileAccess.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "Diagnostic.h"
#include "Library.h"

namespace Vantrel {
namespace ConfigFileAccess {

namespace {

// The directory part and the last component of a path:
//   "/etc/app/x.ini" => "/etc/app", "x.ini";  "x.ini" => ".", "x.ini";
//   "/x.ini" => "/", "x.ini"
void split(const std::string& path, std::string& directory, std::string& base) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) {
    directory = ".";
    base = path;
    return;
  }
  directory = slash == 0 ? "/" : path.substr(0, slash);
  base = path.substr(slash + 1);
}

void report(const std::string& path, const std::string& reason) {
  if (Diagnostic::first_time("config:" + path + ":" + reason))
    Diagnostic::write_line("configuration file " + path + " not read: " + reason);
}

// Reports and closes; always -1.
int refuse(int fd, const std::string& path, const std::string& reason) {
  if (fd >= 0) ::close(fd);
  report(path, reason);
  return -1;
}

int open_retrying(int directory, const char* name, int flags) {
  int fd;
  do {
    fd = ::openat(directory, name, flags);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// Reports why an open failed, except for a file that is simply not there.
int open_failed(const std::string& path, int error) {
  if (error == ENOENT || error == ENOTDIR) return -1;
  if (error == ELOOP) return refuse(-1, path, "a symbolic link");
  return refuse(-1, path, std::string("cannot open: ") + std::strerror(error));
}

}  // namespace

std::string refusal(const struct stat& file, const struct stat& directory, uid_t euid) {
  if (!S_ISREG(file.st_mode)) return "not a regular file";
  if (file.st_uid != 0 && file.st_uid != euid) {
    return "owned by uid " + std::to_string(file.st_uid) + ", not by root or uid " +
           std::to_string(euid);
  }
  if (file.st_mode & (S_IWGRP | S_IWOTH)) return "writable by group or others";
  if ((directory.st_mode & S_IWOTH) && !(directory.st_mode & S_ISVTX))
    return "in a directory others can write";
  return "";
}

int open_checked(const std::string& path) {
  if (path.empty()) return -1;
  if (Env::privileged() && path[0] != '/')
    return refuse(-1, path, "relative path in a setuid or setgid process");
  std::string directory_path, base;
  split(path, directory_path, base);
  // The directory is looked at through the descriptor the file is opened
  // from, so both checks concern the same directory.
  const int directory =
      open_retrying(AT_FDCWD, directory_path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return open_failed(path, errno);
  // O_NONBLOCK: a FIFO at the name must not block the host; it is refused.
  const int fd =
      open_retrying(directory, base.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  const int error = errno;
  struct stat file_status, directory_status;
  const bool known =
      fd >= 0 && ::fstat(fd, &file_status) == 0 && ::fstat(directory, &directory_status) == 0;
  ::close(directory);
  if (fd < 0) return open_failed(path, error);
  if (!known) return refuse(fd, path, "cannot read its status");
  const std::string reason = refusal(file_status, directory_status, ::geteuid());
  if (!reason.empty()) return refuse(fd, path, reason);
  return fd;
}

DescriptorBuffer::~DescriptorBuffer() {
  if (fd_ >= 0) ::close(fd_);
}

DescriptorBuffer::int_type DescriptorBuffer::underflow() {
  if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
  ssize_t got;
  do {
    got = ::read(fd_, block_, sizeof block_);
  } while (got < 0 && errno == EINTR);
  if (got <= 0) {
    failed_ = got < 0;
    return traits_type::eof();
  }
  setg(block_, block_, block_ + got);
  return traits_type::to_int_type(*gptr());
}

}  // namespace ConfigFileAccess
}  // namespace Vantrel
