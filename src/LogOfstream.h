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

#include <cerrno>
#include <cstddef>
#include <fstream>
#include <ostream>
#include <streambuf>
#include <string>

#include "OwnFile.h"
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

  // Creates `path` as a new file (OwnFile::create: never an existing name,
  // mode 0640, not inherited by child processes). False when the system
  // refuses, the name is taken or a file is already open.
  bool create(const std::string& path);
  // Opens the file that create() made again for appending, if `path` still
  // leads to it (OwnFile::reopen). False otherwise, and always when this
  // buffer created no file.
  bool reopen(const std::string& path);
  // Writes what is pending and closes the file; false when either fails.
  bool close();
  bool is_open() const { return fd_ >= 0; }
  // The errno of the last failed create or reopen, 0 after a success.
  int open_error() const { return open_error_; }

  // For the crash handler, which reads them on the writing thread or without
  // the lock (see CrashHandler.h): the file descriptor (-1 when closed), the
  // characters not yet written, and the record mark below.
  int fd() const { return fd_; }
  const char* pending_data() const { return pbase(); }
  std::size_t pending_length() const { return static_cast<std::size_t>(pptr() - pbase()); }
  // Notes where a record begins: what is pending now came before it.
  void mark_record() {
    record_mark_ = pending_length();
    record_spilled_ = false;
  }
  // Pending characters from before the current record, and whether part of
  // the record itself has already gone to the file.
  std::size_t record_mark() const { return record_mark_; }
  bool record_spilled() const { return record_spilled_; }

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

  // Takes the result of an open: the descriptor, or -1 with errno set.
  bool adopt(int fd);

  static constexpr std::size_t capacity = 8192;
  int fd_ = -1;
  int open_error_ = 0;
  bool created_ = false;  // identity_ names the file this buffer created
  OwnFile::Identity identity_;
  std::size_t record_mark_ = 0;  // see mark_record()
  bool record_spilled_ = false;  // a write since mark_record()
  char buffer_[capacity];
};

class LogOfstream : public std::ofstream {
 public:
  // A file stream: creates `name` at once, as a new file (an existing name is
  // never truncated: the stream is then failed, see name_taken()).
  explicit LogOfstream(const std::string& name);
  // The screen stream: writes to std::cout and owns no file.
  LogOfstream();
  // Writes what is pending and closes the file.
  ~LogOfstream() override = default;

  LogOfstream(const LogOfstream&) = delete;
  LogOfstream& operator=(const LogOfstream&) = delete;

  // Creates `name` as a new file (file streams only).
  void open();
  // Opens the file this stream created again for appending when it was
  // closed, if `name` still leads to that very file (file streams only).
  void re_open();
  // The file could not be created because something already has its name.
  bool name_taken() const { return !to_screen && file_.open_error() == EEXIST; }
  // Closes the file when it is open (file streams only).
  void close();

  // Where records go: std::cout for a screen stream, this stream otherwise.
  std::ostream& target();
  // The file's buffer (target()'s), or null for a screen stream.
  LogFileBuffer* file_buffer() { return to_screen ? nullptr : &file_; }
  const LogFileBuffer* file_buffer() const { return to_screen ? nullptr : &file_; }
  // True while the file is open (never for a screen stream). Not the
  // std::ofstream base's is_open(): the base's own buffer is never used.
  bool file_open() const { return file_.is_open(); }

 private:
  // Creates or re-opens the file; on success the stream's error state is
  // cleared, on failure it is failed (and records written to it are
  // discarded).
  void open_file(bool append);

  LogFileBuffer file_;  // guarded by the destination's message lock

 public:
  // The members below are guarded by the destination's message lock.
  int open_error = 0;  // errno of the last failed open, 0 after a successful one
  bool to_screen;      // writes to std::cout, owns no file
  std::string name;    // the file's path, or "ToScreen"
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGOFSTREAM_H
