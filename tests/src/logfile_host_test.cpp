// Log files through the whole message path, in a fresh process with its own
// environment: rotation, the inactive-settings close and append, the choice
// of extension, screen output and the live ids of a record.
#include <gmock/gmock.h>
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
using ::testing::ElementsAre;

// Runs the writer host with `env` prepended; returns its standard output.
std::string run_writer(const std::string& env, const std::string& args, int* status) {
  return logfile_support::run(env + " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini " +
                                  VANTREL_TEST_HOSTS_DIR + "/host_logfile_writer " + args,
                              status);
}

TEST(LogFileHost, InactiveSettingsCloseAfterEachAssertAndAppend) {
  TempDir dir;
  int status = 0;
  const std::string output =
      run_writer("QZ_TRACE_ECHO=1 QZ_TRACE_LOGDIR=" + dir.path, "asserts 3", &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(dir.texts(files[0]), ElementsAre("m1", "m2", "m3"));
  EXPECT_EQ(occurrences(output, "close because config is not active"), 3u);
  EXPECT_EQ(occurrences(output, "re-opened '" + dir.path + "/" + files[0] + "'"), 2u);
}

TEST(LogFileHost, RecordShowsLiveIdsAndUnwinding) {
  TempDir dir;
  int status = 0;
  run_writer("QZ_TRACE_LOGDIR=" + dir.path, "unwind 2", &status);
  ASSERT_EQ(status, 0);
  ASSERT_EQ(dir.files().size(), 1u);
  std::smatch pid;
  const std::string file = dir.files()[0];
  ASSERT_TRUE(std::regex_search(file, pid, std::regex(R"(_(\d+)_\d{4}_)")));
  std::ostringstream ids;  // the main thread's id is the process id
  ids << std::setw(5) << pid[1] << '|' << std::setw(4) << pid[1] << '|';
  const std::vector<std::string> lines = dir.lines(file);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(23), "|>>|A|X|" + ids.str() + " |||||||||||||||m1");
  EXPECT_EQ(lines[1].substr(23), "|>>|A| |" + ids.str() + " |||||||||||||||m2");
}

TEST(LogFileHost, ExtensionSelectsTheFileKind) {
  struct Case {
    const char* ext;
    const char* env;
    const char* suffix;
  };
  const Case cases[] = {{"txt", "", "_trace.log"},
                        {"txt", "QZ_TRACE_XML=1", "_trace.xml"},
                        {"LOG", "QZ_TRACE_XML=1", "_trace.xml"},
                        {"log", "QZ_TRACE_XML=1", "_trace.log"},
                        {"xml", "", "_trace.xml"}};
  for (const Case& c : cases) {
    TempDir dir;
    int status = 0;
    run_writer(std::string(c.env) + " QZ_TRACE_LOGDIR=" + dir.path,
               std::string("device 1 ") + c.ext, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(dir.files().size(), 1u) << c.ext << " " << c.env;
    const std::string file = dir.files()[0];
    EXPECT_EQ(file.substr(file.size() - 10), c.suffix) << c.ext << " " << c.env;
    EXPECT_NE(file.find("_db_"), std::string::npos) << file;
  }
}

// A new screen stream after every second record; nothing is unlinked and no
// file is made.
TEST(LogFileHost, ScreenOutput) {
  TempDir dir;
  int status = 0;
  const std::string output = run_writer(
      "QZ_TRACE_TO_SCREEN=1 QZ_TRACE_ECHO=1 QZ_TRACE_LOGDIR=" + dir.path, "rotate 5 2 0", &status);
  ASSERT_EQ(status, 0);
  std::vector<std::string> texts;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, std::regex(R"(\|m\d+$)")))
      texts.push_back(line.substr(line.rfind('|') + 1));
  EXPECT_THAT(texts, ElementsAre("m1", "m2", "m3", "m4", "m5"));
  EXPECT_EQ(occurrences(output, "LogFile::do_header_file (): opened 'ToScreen'"), 3u);
  EXPECT_EQ(occurrences(output, "unlinking"), 0u);
  EXPECT_TRUE(dir.files().empty());
}

}  // namespace
