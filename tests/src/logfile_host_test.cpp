// Log files through the whole message path, in a fresh process with its own
// environment: the inactive-settings close and append and the live ids of a
// record. (Screen output: the XML host test.)
#include <gtest/gtest.h>

#include <iomanip>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace {

using ::logfile_support::TempDir;

// Default settings pass asserts only, closing the file after each one and
// appending to it at the next (the debug lines: logfile_test). A record
// shows the live ids (the main thread's id is the process id) and marks the
// one written while an exception unwinds.
TEST(LogFileHost, AssertsUnderInactiveSettings) {
  TempDir dir;
  int status = 0;
  logfile_support::run("QZ_TRACE_LOGDIR=" + dir.path +
                           " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini " +
                           VANTREL_TEST_HOSTS_DIR "/host_logfile_writer unwind",
                       &status);
  ASSERT_EQ(status, 0);
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

}  // namespace
