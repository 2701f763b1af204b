// The message path: activity rule, message lock, ranks, nested messages,
// Printf and VANTREL_LOG. The default destination's log file is replaced by
// one that keeps its records in memory.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"

namespace Vantrel {
namespace {

struct Record {
  unsigned rank;
  int level;
  int tag;
  std::string text;
  bool nested_lost;
};

// Keeps every record; guarded, like any log file, by the message lock.
class CaptureLogFile : public LogFile {
 public:
  std::vector<Record> records;
  bool fail_on_header = false;

 protected:
  std::ostream* do_header_record() override {
    if (fail_on_header) throw std::runtime_error("disk gone");
    current_.str("");
    return &current_;
  }
  void do_footer_record() override {
    records.push_back(
        {rank, record.importance->level, record.tag, current_.str(), nested_lost_flag});
  }

 private:
  std::ostringstream current_;
};

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    logos_ = default_logos();
    ASSERT_NE(logos_, nullptr);
    capture_ = new CaptureLogFile;
    logos_->log_file.reset(capture_);
    // Each case starts from the default settings, rule and rank, also when
    // the cases run one after the other in one process.
    Admin::config(Config());
    Admin::is_active(nullptr);
    logos_->rank = 0;  // no other thread writes between the cases
  }

  void activate(const Importance& threshold) {
    Admin::active(true);
    Admin::importance(threshold);
  }
  const std::vector<Record>& records() const { return capture_->records; }

  Logos* logos_ = nullptr;
  CaptureLogFile* capture_ = nullptr;  // owned by the destination
};

struct ActivityCase {
  bool active;
  int threshold;
  int level;
  int severity;
  bool written;
};

// The default rule, straight from the table of levels and severities.
TEST(IsActiveTest, DefaultRuleTable) {
  const ActivityCase cases[] = {
      {false, 2, 4, 2, false},  // inactive: an error is dropped
      {false, 2, 4, 3, true},   // an assert always passes
      {false, 4, 0, 3, true},   // whatever its level
      {true, 3, 2, 0, false},   // below the threshold
      {true, 3, 3, 0, true},    // at it
      {true, 3, 3, 1, true},    // a warning sits at level 3
      {true, 3, 4, 2, true},    // an error at level 4
      {true, 0, 0, 0, true},
  };
  const Admin::IsActive rule;
  for (const ActivityCase& c : cases) {
    Config config;
    config.active = c.active;
    config.importance = Importance(c.threshold, 0);
    EXPECT_EQ(rule(Importance(c.level, c.severity), Logger::Plain, config, nullptr), c.written)
        << "active=" << c.active << " threshold=" << c.threshold << " level=" << c.level
        << " severity=" << c.severity;
  }
}

TEST_F(LoggerTest, DefaultSettingsWriteOnlyAssertsAndCloses) {
  Printf{Warning}("warning");
  Printf{Assert}("assert");
  { Logger close(XS, Logger::Close); }  // a closing message is never filtered
  ASSERT_EQ(records().size(), 2u);
  EXPECT_EQ(records()[0].text, "assert");
  EXPECT_EQ(records()[1].tag, Logger::Close);
}

// The host's rule replaces the default one; it may itself write a message,
// which asks the rule again on the same thread (under the filter lock).
TEST_F(LoggerTest, HostRuleReplacesAndEmptyRuleRestoresDefault) {
  struct XsAndL : Admin::IsActive {
    bool operator()(const Importance& imp, Logger::Tag, const Config&,
                    Context::Data*) const override {
      if (imp.level == 0) Printf{L}("asked about XS");
      return imp.level == 0 || imp.level == 3;
    }
  };
  Admin::is_active(std::make_unique<XsAndL>());
  Printf{XS}("xs");
  Printf{Assert}("assert");
  Admin::is_active(nullptr);
  Printf{XS}("xs again");
  Printf{Assert}("assert again");
  ASSERT_EQ(records().size(), 3u);
  EXPECT_EQ(records()[0].text, "asked about XS");
  EXPECT_EQ(records()[1].text, "xs");
  EXPECT_EQ(records()[2].text, "assert again");
}

TEST_F(LoggerTest, RanksCountOnlyWrittenRecords) {
  activate(M);
  Printf{S}("dropped");
  Printf{M}("first");
  Printf{XS}("dropped");
  Printf{L}("second");
  ASSERT_EQ(records().size(), 2u);
  EXPECT_EQ(records()[0].rank, 1u);
  EXPECT_EQ(records()[1].rank, 2u);
  EXPECT_EQ(logos_->rank, 2u);
}

TEST_F(LoggerTest, NestedMessageIsDroppedAndFlagsEnclosingRecord) {
  activate(XS);
  {
    Logger outer(M, Logger::Plain);
    ASSERT_NE(outer.stream(), nullptr);
    *outer.stream() << "outer";
    Logger inner(M, Logger::Plain);
    EXPECT_EQ(inner.stream(), nullptr);
    Printf{M}("also nested");
  }
  Printf{M}("after");
  ASSERT_EQ(records().size(), 2u);
  EXPECT_EQ(records()[0].text, "outer");
  EXPECT_TRUE(records()[0].nested_lost);
  EXPECT_EQ(records()[1].rank, 2u);
  EXPECT_FALSE(records()[1].nested_lost);
  EXPECT_EQ(logos_->message_lock.depth(), 0u);
  EXPECT_EQ(logos_->message_lock.max_depth(), 0u);
}

// The administration getters (and a configuration text) inside the stream
// expression of a record read under the level the record already holds: no
// message was lost, so the record is not marked.
TEST_F(LoggerTest, AdminCallsInsideARecordDoNotMarkIt) {
  activate(XS);
  VANTREL_LOG(M) << Admin::name() << Admin::logext() << Admin::logdir() << Admin::configfile();
  VANTREL_LOG(M) << Admin::config(std::string("size = 70;"));
  VANTREL_LOG(M) << "x";
  {
    Logger outer(M, Logger::Plain);
    Admin::logdir("/nonexistent");
  }
  ASSERT_EQ(records().size(), 4u);
  for (const Record& r : records()) EXPECT_FALSE(r.nested_lost) << r.text;
  EXPECT_EQ(records()[1].text, "1");
  EXPECT_EQ(Admin::config().size, 70u);
  EXPECT_NE(Admin::logdir(), "/nonexistent");
  EXPECT_EQ(logos_->message_lock.depth(), 0u);
}

TEST_F(LoggerTest, CopyAndResetEndTheRecordOnce) {
  activate(XS);
  {
    Logger first(M, Logger::Plain);
    Logger second(first);
    EXPECT_EQ(first.stream(), nullptr);
    *second.stream() << "copied";
    second.reset();
    EXPECT_EQ(second.stream(), nullptr);
  }
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].text, "copied");
}

TEST_F(LoggerTest, FailingLogFileDropsTheMessageAndReleasesTheLock) {
  activate(XS);
  capture_->fail_on_header = true;
  EXPECT_NO_THROW(Printf{M}("lost"));
  capture_->fail_on_header = false;
  Printf{M}("kept");
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].text, "kept");
  EXPECT_EQ(logos_->message_lock.depth(), 0u);
}

TEST_F(LoggerTest, PrintfCutsLongTextsSafely) {
  activate(XS);
  const std::string exact(1023, 'a');
  Printf{M}("%s", exact.c_str());
  Printf{M}("%s", std::string(1024, 'b').c_str());
  Printf{M}("%s", std::string(5000, 'c').c_str());
  Printf{M}("x=%d", 5);
  // A NUL from the format ends the text, also in a text that was cut.
  Printf{M}("a%cb", 0);
  Printf{M}("%c%s", 0, std::string(2000, 'd').c_str());
  Printf{M}("%s%c%s", std::string(1022, 'e').c_str(), 0, "ff");
  ASSERT_EQ(records().size(), 7u);
  EXPECT_EQ(records()[0].text, exact);
  EXPECT_EQ(records()[1].text, std::string(1023, 'b'));
  EXPECT_EQ(records()[2].text, std::string(1023, 'c'));
  EXPECT_EQ(records()[3].text, "x=5");
  EXPECT_EQ(records()[4].text, "a");
  EXPECT_EQ(records()[5].text, "");
  EXPECT_EQ(records()[6].text, std::string(1022, 'e'));
}

TEST_F(LoggerTest, LogMacroSkipsItsExpressionsWhenInactive) {
  int evaluated = 0;
  VANTREL_LOG(M) << ++evaluated;
  EXPECT_EQ(evaluated, 0);
  EXPECT_TRUE(records().empty());
  activate(M);
  VANTREL_LOG(M) << "n=" << ++evaluated;
  EXPECT_EQ(evaluated, 1);
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].text, "n=1");
}

}  // namespace
}  // namespace Vantrel
