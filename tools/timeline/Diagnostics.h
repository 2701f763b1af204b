// Problems found in the input, reported on the standard error as
//   vantrel-timeline: FILE:LINE: what
// with FILE and what made printable.
// The tool's main creates one and passes it to every reader; it lives for
// the whole run. Single-threaded, no lock.
#ifndef VANTREL_TOOLS_TIMELINE_DIAGNOSTICS_H
#define VANTREL_TOOLS_TIMELINE_DIAGNOSTICS_H

#include <cstddef>
#include <cstdio>
#include <string>

namespace Timeline {

// `text` safe to print on a terminal: control characters (C0, DEL and the
// C1 range) and bytes that are not UTF-8 as \xNN, so that a log cannot send
// escape sequences to the reader's terminal.
std::string printable(const std::string& text);

class Diagnostics {
 public:
  explicit Diagnostics(std::FILE* out = stderr) : out_(out) {}

  // Reports a problem at a line of a file (line 0: the file as a whole).
  // After `per_file_limit` problems in one file the rest are only counted.
  void report(const std::string& file, std::size_t line, const std::string& what);
  // Ends the reports of a file: says how many were not shown.
  void end_file(const std::string& file);

  std::size_t count() const { return count_; }

  static constexpr std::size_t per_file_limit = 20;

 private:
  std::FILE* out_;
  std::size_t count_ = 0;       // all problems of the run
  std::size_t file_count_ = 0;  // problems of the current file
  std::string current_file_;
};

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_DIAGNOSTICS_H
