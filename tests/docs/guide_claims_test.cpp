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

}  // namespace
