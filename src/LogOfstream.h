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
// otherwise. Each of open, re_open and close writes a debug line first, also
// when it then has nothing to do:
//   "LogOfstream::open '/var/log/app/server_4242_..._trace.log'"
#ifndef VANTREL_SRC_LOGOFSTREAM_H
#define VANTREL_SRC_LOGOFSTREAM_H

#include <fstream>
#include <ostream>
#include <string>

namespace Vantrel {

class LogOfstream : public std::ofstream {
 public:
  // A file stream: creates or truncates `name` at once.
  explicit LogOfstream(const std::string& name);
  // The screen stream: writes to std::cout and owns no file.
  LogOfstream();
  // Closes the file (through the std::ofstream base).
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

  // The members below are guarded by the destination's message lock.
  bool is_open = false;  // the file buffer is open (copied after each open / close)
  bool to_screen;        // writes to std::cout, owns no file
  std::string name;      // the file's path, or "ToScreen"
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGOFSTREAM_H
