// Claims of the user guide that no shown output proves: the unit of a traced
// scope's elapsed time, and that a new log file skips names already taken.
// Each case runs in a process of its own and writes into a scratch directory.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "src/logfile_support.h"

namespace {

using logfile_support::TempDir;

using logfile_support::read_file;

class GuideClaims : public testing::Test {
 protected:
  void SetUp() override {
    Vantrel::Admin::logext("log");
    Vantrel::Admin::logdir(dir_.path);
    Vantrel::Admin::importance(Vantrel::M);
    Vantrel::Admin::active(true);
  }
  TempDir dir_;
};

// "job#1" lasting 250 ms closes with "job#1: 0.25..." (seconds), not 250.
TEST_F(GuideClaims, ScopeClosesWithTheSecondsSpent) {
  {
    using namespace Vantrel::Context;
    WorkflowScope job(Root(StepFields(SubFields{"job"}, SubFields{"1"})));
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  const std::vector<std::string> files = dir_.files();
  ASSERT_EQ(files.size(), 1u);
  const std::string log = read_file(dir_.path + "/" + files[0]);
  const std::string closing = "|job#1: ";
  const std::size_t at = log.find(closing);
  ASSERT_NE(at, std::string::npos) << log;
  const double elapsed = std::stod(log.substr(at + closing.size()));
  EXPECT_GE(elapsed, 0.25);
  EXPECT_LT(elapsed, 5.0) << "a 250 ms scope must print about 0.25";
}

// The file name part "YYYY_MM_DD_hh_mm_ss_mmm" of the UTC time `t`.
std::string name_time(std::chrono::system_clock::time_point t) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch());
  const std::time_t seconds = static_cast<std::time_t>(ms.count() / 1000);
  std::tm utc{};
  ::gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d_%02d_%02d_%02d_%02d_%02d_%03d", utc.tm_year + 1900,
                utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                static_cast<int>(ms.count() % 1000));
  return text;
}

std::string process_name() {
  char path[4096];
  const ssize_t size = ::readlink("/proc/self/exe", path, sizeof path - 1);
  const std::string exe = size > 0 ? std::string(path, static_cast<std::size_t>(size)) : "";
  return exe.substr(exe.rfind('/') + 1);
}

// Files named for the next milliseconds exist already (left by an earlier
// process with this pid, say): the first record waits them out and writes a
// file of its own, leaving theirs as they were.
TEST_F(GuideClaims, NewFileSkipsNamesAlreadyTaken) {
  const std::string prefix =
      dir_.path + "/" + process_name() + "_" + std::to_string(::getpid()) + "_";
  const auto now = std::chrono::system_clock::now();
  std::vector<std::string> taken;
  for (int ms = -2; ms <= 12; ++ms) {
    taken.push_back(prefix + name_time(now + std::chrono::milliseconds(ms)) + "_trace.log");
    std::ofstream(taken.back()) << "taken\n";
  }
  Vantrel::Printf{Vantrel::L}("a file of its own");

  for (const std::string& path : taken) EXPECT_EQ(read_file(path), "taken\n") << path;
  const std::vector<std::string> files = dir_.files();
  ASSERT_EQ(files.size(), taken.size() + 1);
  std::size_t written = 0;
  for (const std::string& name : files)
    if (read_file(dir_.path + "/" + name).find("|a file of its own\n") != std::string::npos)
      ++written;
  EXPECT_EQ(written, 1u);
}

}  // namespace

// Messages from an atexit handler and a static destructor are written, and
// the XML document is still completed after them.
TEST(GuideClaimsAtExit, LateMessagesAreWrittenBeforeTheDocumentEnds) {
  TempDir dir;
  const std::string command = "env -u QZ_TRACE_TO_SCREEN QZ_TRACE_XML=1 QZ_TRACE_LOGDIR='" +
                              dir.path + "' " VANTREL_TEST_HOSTS_DIR "/host_docs_exit";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 1u);
  const std::string document = read_file(dir.path + "/" + files[0]);

  std::size_t at = 0;
  for (const char* text : {"from main", "from an atexit handler", "from a static destructor"}) {
    at = document.find(text, at);
    ASSERT_NE(at, std::string::npos) << text << " missing or out of order in\n" << document;
  }
  const std::string end = "</Msg>\n</Vantrel>\n";
  EXPECT_EQ(document.compare(document.size() - end.size(), end.size(), end), 0) << document;
}
