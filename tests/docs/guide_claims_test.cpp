// Claims of the user guide that no shown output proves.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <errno.h>

#include <chrono>
#include <ctime>

#include "src/logfile_support.h"

namespace {

using logfile_support::read_file;
using logfile_support::TempDir;

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

// "job#1" lasting 250 ms closes with its time in seconds, not milliseconds.
TEST_F(GuideClaims, ScopeClosesWithTheSecondsSpent) {
  logfile_support::TestClock clock;
  {
    using namespace Vantrel::Context;
    WorkflowScope job(Root(StepFields(SubFields{"job"}, SubFields{"1"})));
    clock.advance(250);
  }
  EXPECT_EQ(
      logfile_support::occurrences(read_file(dir_.path + "/" + dir_.files().at(0)), "|job#1: 0.25"),
      1u);
}

// Files named for the next milliseconds exist already (an earlier process
// with this pid left them): the first record waits them out and writes a
// file of its own, named after theirs, leaving theirs as they were.
TEST_F(GuideClaims, NewFileSkipsNamesAlreadyTaken) {
  const std::string prefix =
      dir_.path + "/" + program_invocation_short_name + "_" + std::to_string(::getpid()) + "_";
  const long long now = std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::system_clock::now().time_since_epoch())
                            .count();
  for (long long ms = now - 2; ms <= now + 12; ++ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    char name[64];  // YYYY_MM_DD_hh_mm_ss_mmm, UTC
    const std::size_t size =
        std::strftime(name, sizeof name, "%Y_%m_%d_%H_%M_%S_", gmtime(&seconds));
    std::ofstream(prefix + std::string(name, size) + std::to_string(ms % 1000 + 1000).substr(1) +
                  "_trace.log")
        << "taken\n";
  }
  Vantrel::Printf{Vantrel::L}("a file of its own");
  const std::vector<std::string> texts = dir_.all_texts();
  EXPECT_EQ(dir_.files().size(), 16u);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "taken"), 15);
  EXPECT_EQ(std::count(texts.begin(), texts.end(), "a file of its own"), 1);
  EXPECT_EQ((dir_.path + "/" + dir_.files().back()).rfind(prefix, 0), 0u);
  EXPECT_EQ(dir_.texts(dir_.files().back()), std::vector<std::string>{"a file of its own"});
}

// Messages from main, an atexit handler and a static destructor are written
// in that order, and the XML document is still completed after them.
TEST(GuideClaimsAtExit, LateMessagesAreWrittenBeforeTheDocumentEnds) {
  TempDir dir;
  ASSERT_EQ(std::system(("env -u QZ_TRACE_TO_SCREEN QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path +
                         " " VANTREL_TEST_HOSTS_DIR "/host_docs_exit")
                            .c_str()),
            0);
  const std::string document = read_file(dir.path + "/" + dir.files().at(0));
  std::size_t at = 0;
  for (const char* text : {"from main", "from an atexit handler", "from a static destructor"})
    ASSERT_NE(at = document.find(text, at), std::string::npos) << text << " in\n" << document;
  EXPECT_EQ(document.substr(document.size() - 18), "</Msg>\n</Vantrel>\n");
}

}  // namespace
