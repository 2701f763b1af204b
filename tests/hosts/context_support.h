// Helpers shared by the core tests: scratch directories, the records of the
// text logs in them, and case tables kept as data files beside the tests.
#ifndef VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H
#define VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H

#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace context_support {

using logfile_support::TempDir;

// The names of the files in `dir`, sorted (so in creation order for one
// destination).
inline std::vector<std::string> list(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* d = opendir(dir.c_str())) {
    while (const dirent* entry = readdir(d))
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

inline bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Every line of the text logs in `dir` of the destination named `device`.
inline std::vector<std::string> log_lines(const std::string& dir, const std::string& device) {
  std::vector<std::string> lines;
  for (const std::string& name : list(dir)) {
    if (!contains(name, "_" + device + "_") || !contains(name, ".log")) continue;
    std::ifstream in(dir + "/" + name);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
  }
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

// The message texts of the records of `device`.
inline std::vector<std::string> messages(const std::string& dir, const std::string& device) {
  std::vector<std::string> texts;
  for (const std::string& line : log_lines(dir, device)) texts.push_back(message_of(line));
  return texts;
}

// The whole of tests/src/cases/<name>: an expected output.
inline std::string case_text(const std::string& name) {
  return logfile_support::read_file(VANTREL_SOURCE_DIR "/tests/src/cases/" + name);
}

// The rows of tests/src/cases/<name>: one a line, fields split at " | ",
// blank lines and lines starting with '#' skipped.
inline std::vector<std::vector<std::string>> case_rows(const std::string& name) {
  std::vector<std::vector<std::string>> rows;
  std::ifstream in(VANTREL_SOURCE_DIR "/tests/src/cases/" + name);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    rows.emplace_back();
    for (std::size_t at = 0, bar;; at = bar + 3) {
      bar = line.find(" | ", at);
      rows.back().push_back(line.substr(at, bar - at));
      if (bar == std::string::npos) break;
    }
  }
  return rows;
}

}  // namespace context_support

#endif  // VANTREL_TESTS_HOSTS_CONTEXT_SUPPORT_H
