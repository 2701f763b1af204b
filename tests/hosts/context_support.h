// Helpers shared by the core tests: the records of a destination's text logs
// in a scratch directory, and cases kept as data files beside the tests.
#ifndef VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H
#define VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H

#include <string>
#include <vector>

#include "src/logfile_support.h"
#include "zeltools/cases_support.h"

namespace context_support {

using logfile_support::TempDir;

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every line of the text logs in `dir` of the destination named `device`.
inline std::vector<std::string> log_lines(const TempDir& dir, const std::string& device) {
  std::vector<std::string> lines;
  for (const std::string& name : dir.files())
    if (contains(name, "_" + device + "_") && contains(name, ".log"))
      for (const std::string& line : dir.lines(name)) lines.push_back(line);
  return lines;
}

// Field n of a record (0 the time, 1 the level, ... 6 the tag mark, 7 to 20
// the columns); n = 21 gives the message text, '|' included.
inline std::string field_of(const std::string& line, int n) {
  std::size_t begin = 0;
  for (int bar = 0; bar < n && begin != std::string::npos; ++bar) {
    begin = line.find('|', begin);
    if (begin != std::string::npos) ++begin;
  }
  if (begin == std::string::npos) return "";
  return n == 21 ? line.substr(begin) : line.substr(begin, line.find('|', begin) - begin);
}

inline std::string message_of(const std::string& line) { return field_of(line, 21); }

inline std::vector<std::string> messages(const TempDir& dir, const std::string& device) {
  std::vector<std::string> texts;
  for (const std::string& line : log_lines(dir, device)) texts.push_back(message_of(line));
  return texts;
}

// The rows of tests/src/cases/<name>, and its whole text (an expected output).
inline std::vector<cases::Fields> case_rows(const std::string& name) {
  return cases::read("src/cases/" + name);
}
inline std::string case_text(const std::string& name) {
  return logfile_support::read_file(VANTREL_SOURCE_DIR "/tests/src/cases/" + name);
}

}  // namespace context_support

#endif  // VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H
