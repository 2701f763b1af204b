// Printf's inline first check may drop a message only when every destination
// would; it must follow every change of what decides at once.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "hosts/context_support.h"
#include "src/capture_support.h"

using namespace Vantrel;

namespace {

struct PassAll : Admin::IsActive {
  bool operator()(const Importance&, Logger::Tag, const Config&, Context::Data*) const override {
    return true;
  }
};

// After each change, one message per level XS..XL; the levels written as
// digits ("34" for L and XL). An assert passes whatever the threshold.
TEST(QuickVerdict, FollowsEveryChangeOfWhatDecides) {
  context_support::TempDir dir;
  std::ofstream(dir.path + "/quick.cfg") << "active = true;\nimportance = xs;\n";
  Admin::configfile(dir.path + "/quick.cfg");  // before the capture: it renews the log file
  auto* capture = capture_support::CaptureLogFile::install();
  const std::pair<std::function<void()>, const char*> steps[] = {
      {[] { Admin::active(true), Admin::importance(L); }, "34A"},
      {[] { Admin::importance(S); }, "1234A"},
      {[] { Admin::active(false); }, "A"},
      {[] { Admin::is_active(std::make_unique<PassAll>()); }, "01234A"},
      {[] { Admin::is_active(nullptr); }, "A"},
      {[] { Admin::pullable(true); }, "01234A"},  // the file is read again
      {[] { Admin::active(true), Admin::importance(XL); }, "4A"},
  };
  for (const auto& step : steps) {
    step.first();
    capture->records.clear();
    for (const Importance* level : {&XS, &S, &M, &L, &XL}) Printf{*level}("%d", level->level);
    Printf{Assert}("A");
    std::string written;
    for (const std::string& text : capture->texts()) written += text;
    EXPECT_EQ(written, step.second) << &step - steps;
  }
}

}  // namespace
