// The message path: activity rule, message lock, ranks, nested messages,
// Printf and VANTREL_LOG, written to a log file that keeps its records.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include "hosts/context_support.h"
#include "src/capture_support.h"

namespace Vantrel {
namespace {

using capture_support::CaptureLogFile;

class LoggerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    capture_ = CaptureLogFile::install();
    Admin::config(Config());  // the default settings, rule and rank in every order
    Admin::is_active(nullptr);
    default_logos()->rank = 0;
  }
  // "rank text" per record, '!' after the rank when a nested message was lost
  // and '}' for a closing record.
  std::vector<std::string> summary() const {
    std::vector<std::string> lines;
    for (const auto& r : capture_->records)
      lines.push_back(std::to_string(r.rank) + (r.nested_lost ? "!" : "") +
                      (r.tag == Logger::Close ? "}" : " ") + r.text);
    return lines;
  }
  CaptureLogFile* capture_ = nullptr;  // owned by the destination
};

TEST(IsActiveTest, DefaultRuleTable) {
  const Admin::IsActive rule;
  for (const auto& row : context_support::case_rows("default_rule.txt")) {
    Config config;
    config.active = row[0] == "active";
    config.importance = Importance(std::stoi(row[1]), 0);
    const Importance message(std::stoi(row[2]), std::stoi(row[3]));
    EXPECT_EQ(rule(message, Logger::Plain, config, nullptr) ? "written" : "dropped", row[4])
        << row[0] << row[1] << row[2] << row[3];
  }
}

// A host's rule may itself write, which asks the rule again on the thread.
struct XsAndL : Admin::IsActive {
  bool operator()(const Importance& imp, Logger::Tag, const Config&,
                  Context::Data*) const override {
    if (imp.level == 0) Printf{L}("asked about XS");
    return imp.level == 0 || imp.level == 3;
  }
};

TEST_F(LoggerTest, RulesDecideAndRanksCountOnlyWrittenRecords) {
  Printf{Warning}("warning");
  Printf{Assert}("assert");
  { Logger close(XS, Logger::Close); }  // a closing message is never filtered
  Admin::is_active(std::make_unique<XsAndL>());
  Printf{XS}("xs");
  Printf{Assert}("assert to the host rule");
  Admin::is_active(nullptr);
  Admin::config(std::string("active = true; importance = m;"));
  for (const Importance* level : {&S, &M, &XS, &L}) Printf{*level}("%d", level->level);
  EXPECT_EQ(summary(),
            (std::vector<std::string>{"1 assert", "2}", "3 asked about XS", "4 xs", "5 2", "6 3"}));
  EXPECT_EQ(default_logos()->rank, 6u);
}

// Nested messages are dropped and mark the enclosing record; administration
// calls inside a record are not nested messages; a copy, a reset and a
// failing log file end the record once and release the lock.
TEST_F(LoggerTest, NestedCopiedAndFailingRecords) {
  Admin::config(std::string("active = true; importance = xs;"));
  const std::string names = Admin::name() + Admin::logext() + Admin::logdir() + Admin::configfile();
  {
    Logger outer(M, Logger::Plain);
    *outer.stream() << "outer";
    Logger inner(M, Logger::Plain);
    EXPECT_EQ(inner.stream(), nullptr);
    Printf{M}("also nested");
  }
  VANTREL_LOG(M) << Admin::name() << Admin::logext() << Admin::logdir() << Admin::configfile();
  VANTREL_LOG(M) << Admin::config(std::string("size = 70;"));
  {
    Logger outer(M, Logger::Plain);
    Admin::logdir("/nonexistent");
  }
  {
    Logger first(M, Logger::Plain);
    Logger second(first);
    EXPECT_EQ(first.stream(), nullptr);
    *second.stream() << "copied";
    second.reset();
    EXPECT_EQ(second.stream(), nullptr);
  }
  capture_->fail_on_header = true;
  EXPECT_NO_THROW(Printf{M}("lost"));
  capture_->fail_on_header = false;
  Printf{M}("after");
  EXPECT_EQ(summary(), (std::vector<std::string>{"1! outer", "2 " + names, "3 1", "4 ", "5 copied",
                                                 "7 after"}));
  EXPECT_EQ(Admin::config().size, 70u);
  EXPECT_NE(Admin::logdir(), "/nonexistent");
  EXPECT_EQ(default_logos()->message_lock.depth(), 0u);
  EXPECT_EQ(default_logos()->message_lock.max_depth(), 0u);
}

// Texts are cut at 1023 characters; a NUL from the format ends the text.
// VANTREL_LOG skips its expressions when inactive.
TEST_F(LoggerTest, PrintfCutsLongTextsSafelyAndInactiveLogSkips) {
  int evaluated = 0;
  VANTREL_LOG(M) << ++evaluated;
  Admin::config(std::string("active = true; importance = xs;"));
  VANTREL_LOG(M) << "n=" << ++evaluated;
  for (const auto& [length, c] : {std::pair<int, char>{1023, 'a'}, {1024, 'b'}, {5000, 'c'}})
    Printf{M}("%s", std::string(length, c).c_str());
  Printf{M}("%c%s", 0, std::string(2000, 'd').c_str());
  Printf{M}("%s%c%s", std::string(1022, 'e').c_str(), 0, "ff");
  EXPECT_EQ(capture_->texts(),
            (std::vector<std::string>{"n=1", std::string(1023, 'a'), std::string(1023, 'b'),
                                      std::string(1023, 'c'), "", std::string(1022, 'e')}));
}

}  // namespace
}  // namespace Vantrel
