// Shared by the timeline tool's tests: the sections of a case file under
// tests/tools/cases/ and the hosts that write logs to read.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "src/logfile_support.h"

namespace tool_cases {

inline std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream in(text);
  for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
  return parts;
}

// The sections of cases/NAME.txt: each "=== HEAD" line's HEAD and the lines
// up to the next one.
inline std::vector<std::pair<std::string, std::string>> case_sections(const std::string& name) {
  std::vector<std::pair<std::string, std::string>> sections;
  for (const std::string& line :
       split(logfile_support::read_file(VANTREL_SOURCE_DIR "/tests/tools/cases/" + name + ".txt"),
             '\n'))
    if (line.compare(0, 4, "=== ") == 0)
      sections.emplace_back(line.substr(4), "");
    else if (!sections.empty())
      sections.back().second += line + "\n";
  return sections;
}

// Runs a host that writes logs into `dir` (XML with `xml`).
inline void run_host(const logfile_support::TempDir& dir, const char* host, bool xml = false) {
  int status = 0;
  logfile_support::run("QZ_TRACE_LOGDIR='" + dir.path + "' " + (xml ? "QZ_TRACE_XML=1 " : "") +
                           VANTREL_TEST_HOSTS_DIR "/" + host,
                       &status);
  EXPECT_EQ(status, 0) << host;
}

}  // namespace tool_cases
