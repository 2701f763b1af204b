#include "LogOfstream.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "DebugTrace.h"

namespace Vantrel {

namespace {

// Writes all `count` bytes, resuming after interruptions and short writes.
bool write_all(int fd, const char* data, std::size_t count) {
  while (count > 0) {
    const ssize_t written = ::write(fd, data, count);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    count -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

LogFileBuffer::LogFileBuffer() { setp(buffer_, buffer_ + capacity); }

LogFileBuffer::~LogFileBuffer() { close(); }

bool LogFileBuffer::create(const std::string& path) {
  if (is_open()) return false;
  created_ = adopt(OwnFile::create(path, identity_));
  return created_;
}

bool LogFileBuffer::reopen(const std::string& path) {
  if (is_open()) return false;
  if (!created_) {
    open_error_ = ENOENT;
    return false;
  }
  return adopt(OwnFile::reopen(path, identity_));
}

bool LogFileBuffer::adopt(int fd) {
  fd_ = fd;
  open_error_ = fd < 0 ? errno : 0;
  setp(buffer_, buffer_ + capacity);
  return is_open();
}

bool LogFileBuffer::close() {
  if (!is_open()) return false;
  const bool written = write_pending();
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  return written && closed;
}

bool LogFileBuffer::write_pending() {
  const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
  setp(buffer_, buffer_ + capacity);
  if (pending == 0) return true;
  record_mark_ = 0;
  record_spilled_ = true;
  return is_open() && write_all(fd_, buffer_, pending);
}

LogFileBuffer::int_type LogFileBuffer::overflow(int_type c) {
  if (!write_pending()) return traits_type::eof();
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  *pptr() = traits_type::to_char_type(c);
  pbump(1);
  return c;
}

std::streamsize LogFileBuffer::xsputn(const char* text, std::streamsize count) {
  std::streamsize done = 0;
  while (done < count) {
    if (pptr() == epptr() && !write_pending()) return done;
    const std::streamsize room = epptr() - pptr();
    const std::streamsize part = std::min(room, count - done);
    std::memcpy(pptr(), text + done, static_cast<std::size_t>(part));
    pbump(static_cast<int>(part));
    done += part;
  }
  return done;
}

int LogFileBuffer::sync() { return write_pending() ? 0 : -1; }

LogOfstream::LogOfstream(const std::string& name_) : to_screen(false), name(name_) {
  std::basic_ios<char>::rdbuf(&file_);
  open();
}

LogOfstream::LogOfstream() : to_screen(true), name("ToScreen") {
  std::basic_ios<char>::rdbuf(&file_);
  open();
}

void LogOfstream::open() {
  VANTREL_DEBUG("LogOfstream::open '" << name << "'");
  if (to_screen) return;
  open_file(false);
}

void LogOfstream::re_open() {
  VANTREL_DEBUG("LogOfstream::re_open '" << name << "'");
  if (to_screen || file_open()) return;
  // A successful open clears the error bits a failed earlier attempt left.
  open_file(true);
}

void LogOfstream::close() {
  VANTREL_DEBUG("LogOfstream::close '" << name << "'");
  if (to_screen || !file_open()) return;
  if (!file_.close()) setstate(std::ios_base::failbit);
}

void LogOfstream::open_file(bool append) {
  if (append ? file_.reopen(name) : file_.create(name)) {
    clear();
    open_error = 0;
  } else {
    open_error = errno;
    setstate(std::ios_base::failbit);
  }
}

std::ostream& LogOfstream::target() {
  if (to_screen) return std::cout;
  return *this;
}

}  // namespace Vantrel
