// Claims of the user guide that no shown output proves.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include "src/logfile_support.h"

namespace {

// "job#1" lasting 250 ms closes with its time in seconds, not milliseconds.
TEST(GuideClaims, ScopeClosesWithTheSecondsSpent) {
  logfile_support::TempDir dir;
  Vantrel::Admin::logext("log");
  Vantrel::Admin::logdir(dir.path);
  Vantrel::Admin::importance(Vantrel::M);
  Vantrel::Admin::active(true);
  logfile_support::TestClock clock;
  {
    using namespace Vantrel::Context;
    WorkflowScope job(Root(StepFields(SubFields{"job"}, SubFields{"1"})));
    clock.advance(250);
  }
  EXPECT_EQ(logfile_support::occurrences(
                logfile_support::read_file(dir.path + "/" + dir.files().at(0)), "|job#1: 0.25"),
            1u);
}

// Messages from main, an atexit handler and a static destructor are written
// in that order, and the XML document is still completed after them.
TEST(GuideClaimsAtExit, LateMessagesAreWrittenBeforeTheDocumentEnds) {
  logfile_support::TempDir dir;
  ASSERT_EQ(std::system(("env -u QZ_TRACE_TO_SCREEN QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path +
                         " " VANTREL_TEST_HOSTS_DIR "/host_docs_exit")
                            .c_str()),
            0);
  const std::string document = logfile_support::read_file(dir.path + "/" + dir.files().at(0));
  std::size_t at = 0;
  for (const char* text : {"from main", "from an atexit handler", "from a static destructor"})
    ASSERT_NE(at = document.find(text, at), std::string::npos) << text << " in\n" << document;
  EXPECT_EQ(document.substr(document.size() - 18), "</Msg>\n</Vantrel>\n");
}

}  // namespace
