// The {} front end: the activity rule before any formatting, the records it
// writes, its cut at Printf's length, and failures that stay inside it. The
// default destination's log file keeps its records in memory.
#include <Vantrel.h>
#include <Vantrel/Format.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"

namespace {

// An argument that counts how often it was formatted, or throws when asked.
struct Probe {
  int* formatted;
  bool throws;
};

}  // namespace

template <>
struct fmt::formatter<Probe> : fmt::formatter<int> {
  template <typename Context>
  auto format(const Probe& probe, Context& context) const -> decltype(context.out()) {
    if (probe.throws) throw std::runtime_error("probe broke");
    return fmt::formatter<int>::format(++*probe.formatted, context);
  }
};

namespace Vantrel {
namespace {

class TextsLogFile : public LogFile {
 public:
  std::vector<std::string> texts;

 protected:
  std::ostream* do_header_record() override {
    current_.str("");
    return &current_;
  }
  void do_footer_record() override { texts.push_back(current_.str()); }

 private:
  std::ostringstream current_;
};

class FormatTest : public ::testing::Test {
 protected:
  void SetUp() override {
    capture_ = new TextsLogFile;
    default_logos()->log_file.reset(capture_);
  }
  void activate(const Importance& threshold) {
    Admin::active(true);
    Admin::importance(threshold);
  }
  const std::vector<std::string>& texts() const { return capture_->texts; }

  TextsLogFile* capture_ = nullptr;  // owned by the destination
};

TEST_F(FormatTest, ArgumentsAreFormattedOnlyForActiveMessages) {
  int formatted = 0;
  Format{M}("p={}", Probe{&formatted, false});
  VANTREL_FORMAT(M, "p={}", Probe{&formatted, false});
  EXPECT_EQ(formatted, 0);
  EXPECT_TRUE(texts().empty());

  activate(L);
  Format{M}("p={}", Probe{&formatted, false});
  Format{L}("listening on port {}", 8080);
  VANTREL_FORMAT(Warning, "disk {}% full, p={}", 93, Probe{&formatted, false});
  VANTREL_FORMAT(Error, "no arguments");
  EXPECT_EQ(formatted, 1);
  EXPECT_EQ(texts(), (std::vector<std::string>{"listening on port 8080", "disk 93% full, p=1",
                                               "no arguments"}));
}

TEST_F(FormatTest, TextIsCutLikePrintfsAndEndsAtNul) {
  activate(XS);
  struct Case {
    std::string argument;
    std::string written;
  } cases[] = {
      {std::string(1023, 'a'), std::string(1023, 'a')},
      {std::string(1024, 'b'), std::string(1023, 'b')},
      {std::string(5000, 'c'), std::string(1023, 'c')},
      {std::string("before\0after", 12), "before"},
      {"", ""},
  };
  for (const Case& c : cases) Format{M}("{}", c.argument);
  ASSERT_EQ(texts().size(), std::size(cases));
  for (std::size_t i = 0; i < std::size(cases); ++i) EXPECT_EQ(texts()[i], cases[i].written) << i;
  // Printf cuts the same text at the same place.
  Printf{M}("%s", cases[2].argument.c_str());
  EXPECT_EQ(texts().back(), texts()[2]);
}

TEST_F(FormatTest, FailuresBecomeTheRecordsTextAndErrnoIsKept) {
  activate(XS);
  int formatted = 0;
  errno = EAGAIN;
  Format{M}("a={} b={}", 1, Probe{&formatted, true});
  EXPECT_EQ(errno, EAGAIN);
  Format{M}(fmt::runtime("{:d}"), "not a number");
  Format{M}("after {}", "both");
  ASSERT_EQ(texts().size(), 3u);
  EXPECT_EQ(texts()[0], "[format error: probe broke]");
  EXPECT_EQ(texts()[1].rfind("[format error: ", 0), 0u) << texts()[1];
  EXPECT_EQ(texts()[2], "after both");
}

}  // namespace
}  // namespace Vantrel
