// Log files through the whole message path, in a fresh process with its own
// environment: the inactive-settings close and append, the live ids of a
// record, and screen output.
#include <gtest/gtest.h>

#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace {

using ::logfile_support::occurrences;
using ::logfile_support::TempDir;

// Runs the writer host with `env` prepended; returns its standard output.
std::string run_writer(const std::string& env, const std::string& args) {
  int status = 0;
  const std::string output =
      logfile_support::run(env + " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini " +
                               VANTREL_TEST_HOSTS_DIR + "/host_logfile_writer " + args,
                           &status);
  EXPECT_EQ(status, 0) << args;
  return output;
}

// Default settings pass asserts only, closing the file after each one and
// appending to it at the next (the debug lines: logfile_test). A record shows the live ids (the
// main thread's id is the process id) and marks the one written while an exception unwinds.
TEST(LogFileHost, AssertsUnderInactiveSettings) {
  TempDir dir;
  run_writer("QZ_TRACE_LOGDIR=" + dir.path, "unwind");
  ASSERT_EQ(dir.files().size(), 1u);
  const std::string file = dir.files()[0];
  std::smatch pid;
  ASSERT_TRUE(std::regex_search(file, pid, std::regex(R"(_(\d+)_\d{4}_)")));
  std::ostringstream ids;
  ids << std::setw(5) << pid[1] << '|' << std::setw(4) << pid[1] << '|';
  std::vector<std::string> lines = dir.lines(file);
  for (std::string& line : lines) line.erase(0, 23);  // the time
  EXPECT_EQ(lines, (std::vector<std::string>{"|>>|A|X|" + ids.str() + " |||||||||||||||m1",
                                             "|>>|A| |" + ids.str() + " |||||||||||||||m2"}));
}

// A new screen stream after every second record; nothing is unlinked and no
// file is made.
TEST(LogFileHost, ScreenOutput) {
  TempDir dir;
  const std::string output = run_writer(
      "QZ_TRACE_TO_SCREEN=1 QZ_TRACE_ECHO=1 QZ_TRACE_LOGDIR=" + dir.path, "rotate 5 2 0");
  std::string texts;
  const std::regex record(R"(\|(m\d+|last \d+)[ \n])");
  for (std::sregex_iterator m(output.begin(), output.end(), record), end; m != end; ++m)
    texts += (*m)[1].str() + ",";
  EXPECT_EQ(texts, "m1,m2,m3,m4,last 5,");
  EXPECT_EQ(occurrences(output, "LogFile::do_header_file (): opened 'ToScreen'"), 3u);
  EXPECT_EQ(occurrences(output, "unlinking"), 0u);
  EXPECT_TRUE(dir.files().empty());
}

}  // namespace
