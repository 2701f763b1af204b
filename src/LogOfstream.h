// LogOfstream: the output stream of a text log file, either a file or the
// process's standard output.
//
// Created by a LogFileExt when a record needs an output (the first record, or
// the first after a rotation) and deleted by it on rotation or when the log
// file itself ends. It takes no lock: every call comes from the message path
// while the destination's message lock is held, and that lock also guards its
// members.
//
// Records are written into target(): std::cout for a screen stream, the file
// otherwise. A file's characters go through a LogFileBuffer, installed as the
// stream's buffer in place of the std::ofstream base's own: a record is
// gathered in memory and handed to the system in one write(2) when the record
// flushes, with no code conversion or locale on the way. Each of open,
// re_open and close writes a debug line first, also when it then has nothing
// to do:
//   "LogOfstream::open '/var/log/app/server_4242_..._trace.log'"
#ifndef VANTREL_SRC_LOGOFSTREAM_H
#define VANTREL_SRC_LOGOFSTREAM_H

#include <cstddef>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include "zeltools/portable/ShortText.h"

namespace Vantrel {

// The buffer of an open log file: a fixed array, written out by sync() (the
// stream's flush) and when full. A failed write drops what was pending and
// reports the failure (the stream then goes bad), so a file at its size
// limit or on a full disk costs records, never the host.
class LogFileBuffer : public std::streambuf {
 public:
  LogFileBuffer();
  ~LogFileBuffer() override;
  LogFileBuffer(const LogFileBuffer&) = delete;
  LogFileBuffer& operator=(const LogFileBuffer&) = delete;

  // Opens `path` for writing (created with mode 0666 less the umask, not
  // inherited by child processes), truncating it or appending to it. False
  // when the system refuses or a file is already open.
  bool open(const std::string& path, bool append);
  // Writes what is pending and closes the file; false when either fails.
  bool close();
  bool is_open() const { return fd_ >= 0; }

  // Appends `count` characters; false when the file refused them. Inline,
  // because a record head puts some twenty short pieces.
  bool append(const char* text, std::size_t count) {
    if (static_cast<std::size_t>(epptr() - pptr()) < count) {
      return xsputn(text, static_cast<std::streamsize>(count)) ==
             static_cast<std::streamsize>(count);
    }
    ZelTools::Portable::copy_short(pptr(), text, count);
    pbump(static_cast<int>(count));
    return true;
  }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  // Writes the pending characters; false (and nothing pending) on failure.
  bool write_pending();

  static constexpr std::size_t capacity = 8192;
  int fd_ = -1;
  char buffer_[capacity];
};

class LogOfstream : public std::ofstream {
 public:
  // A file stream: creates or truncates `name` at once.
  explicit LogOfstream(const std::string& name);
  // The screen stream: writes to std::cout and owns no file.
  LogOfstream();
  // Writes what is pending and closes the file.
  ~LogOfstream() override = default;

  LogOfstream(const LogOfstream&) = delete;
  LogOfstream& operator=(const LogOfstream&) = delete;

  // Opens `name` for writing, truncating it (file streams only).
  void open();
  // Opens `name` again for appending when it was closed (file streams only).
  void re_open();
  // Closes the file when it is open (file streams only).
  void close();

  // Where records go: std::cout for a screen stream, this stream otherwise.
  std::ostream& target();
  // The file's buffer (target()'s), or null for a screen stream.
  LogFileBuffer* file_buffer() { return to_screen ? nullptr : &file_; }
  // True while the file is open (never for a screen stream). Not the
  // std::ofstream base's is_open(): the base's own buffer is never used.
  bool file_open() const { return file_.is_open(); }

 private:
  // Opens the file; on success the stream's error state is cleared, on
  // failure it is failed (and records written to it are discarded).
  void open_file(bool append);

  LogFileBuffer file_;  // guarded by the destination's message lock

 public:
  // The members below are guarded by the destination's message lock.
  bool to_screen;    // writes to std::cout, owns no file
  std::string name;  // the file's path, or "ToScreen"
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGOFSTREAM_H
