// Printf's inline first check: it may drop a message only when every
// destination would. Each step below changes what decides and then sends
// one message at each level; the check must follow every change at once.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"
#include "hosts/context_support.h"

namespace Vantrel {
namespace {

// Keeps the text of every record; guarded by the message lock.
class TextsLogFile : public LogFile {
 public:
  std::string texts;

 protected:
  std::ostream* do_header_record() override {
    current_.str("");
    return &current_;
  }
  void do_footer_record() override { texts += current_.str(); }

 private:
  std::ostringstream current_;
};

struct PassAll : Admin::IsActive {
  bool operator()(const Importance&, Logger::Tag, const Config&, Context::Data*) const override {
    return true;
  }
};

// The levels XS..XL written after `change`, as their digits ("34" for L, XL).
struct Step {
  const char* change;
  std::function<void()> apply;
  const char* written;
};

TEST(QuickVerdict, FollowsEveryChangeOfWhatDecides) {
  context_support::TempDir dir;
  const std::string config_file = dir.path + "/quick.cfg";
  std::ofstream(config_file) << "active = true;\nimportance = xs;\n";
  Admin::configfile(config_file);  // before the capture: it renews the log file
  Logos* logos = default_logos();
  ASSERT_NE(logos, nullptr);
  auto* texts = new TextsLogFile;
  logos->log_file.reset(texts);  // owned by the destination
  const Step steps[] = {
      {"threshold L",
       [] {
         Admin::active(true);
         Admin::importance(L);
       },
       "34"},
      {"threshold lowered", [] { Admin::importance(S); }, "1234"},
      {"inactive", [] { Admin::active(false); }, ""},
      {"host rule", [] { Admin::is_active(std::make_unique<PassAll>()); }, "01234"},
      {"rule removed", [] { Admin::is_active(nullptr); }, ""},
      {"re-read due", [] { Admin::pullable(true); }, "01234"},
      {"edited again",
       [] {
         Admin::active(true);
         Admin::importance(XL);
       },
       "4"},
  };
  const Importance* levels[] = {&XS, &S, &M, &L, &XL};
  for (const Step& step : steps) {
    step.apply();
    texts->texts.clear();
    for (const Importance* level : levels) Printf{*level}("%d", level->level);
    EXPECT_EQ(texts->texts, step.written) << step.change;
  }
  // An assert passes whatever the threshold.
  Admin::active(false);
  texts->texts.clear();
  Printf{Assert}("A");
  EXPECT_EQ(texts->texts, "A");
}

// The check holds for every destination: one with a lower threshold than
// the default one still gets its messages, and none once it is gone.
TEST(QuickVerdict, LowestThresholdOverAllDestinations) {
  using namespace Context;
  context_support::TempDir dir;
  Admin::active(true);
  Admin::importance(XL);
  {
    Device device("low", "log", dir.path, "");
    {
      WithDevice bind(device);
      Config low = Admin::config();
      low.active = true;
      low.importance = XS;
      Admin::config(low);
      Printf{XS}("kept on the device");
    }
    Printf{XS}("dropped by the default destination");
  }
  const auto files = context_support::list(dir.path);
  ASSERT_EQ(files.size(), 1u);
  std::ifstream in(dir.path + "/" + files[0]);
  std::ostringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("kept on the device"), std::string::npos);
  EXPECT_EQ(text.str().find("dropped"), std::string::npos);
}

}  // namespace
}  // namespace Vantrel
