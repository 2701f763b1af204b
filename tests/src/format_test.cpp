// The {} front end: the activity rule before any formatting, the records it
// writes, its cut at Printf's length, and failures that stay inside it.
#include <Vantrel.h>
#include <Vantrel/Format.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <stdexcept>

#include "src/capture_support.h"

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

using namespace Vantrel;
using Texts = std::vector<std::string>;

TEST(FormatTest, FormatsOnlyActiveMessagesAndKeepsFailuresInside) {
  auto* capture = capture_support::CaptureLogFile::install();
  Admin::config(Config());
  int formatted = 0;
  Format{M}("p={}", Probe{&formatted, false});
  VANTREL_FORMAT(M, "p={}", Probe{&formatted, false});
  EXPECT_EQ(formatted, 0);
  Admin::active(true);
  Admin::importance(L);
  Format{M}("p={}", Probe{&formatted, false});
  Format{L}("listening on port {}", 8080);
  VANTREL_FORMAT(Warning, "disk {}% full, p={}", 93, Probe{&formatted, false});
  VANTREL_FORMAT(Error, "no arguments");
  EXPECT_EQ(formatted, 1);
  errno = EAGAIN;
  Format{L}("a={} b={}", 1, Probe{&formatted, true});
  EXPECT_EQ(errno, EAGAIN);
  Format{L}(fmt::runtime("{:d}"), "not a number");
  const Texts texts = capture->texts();
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(Texts(texts.begin(), texts.end() - 1),
            (Texts{"listening on port 8080", "disk 93% full, p=1", "no arguments",
                   "[format error: probe broke]"}));
  EXPECT_EQ(texts[4].rfind("[format error: ", 0), 0u) << texts[4];

  // Texts are cut where Printf cuts them, and end at a NUL.
  capture->records.clear();
  Admin::importance(XS);
  const std::string arguments[] = {std::string(1023, 'a'), std::string(1024, 'b'),
                                   std::string(5000, 'c'), std::string("before\0after", 12), ""};
  for (const std::string& argument : arguments) Format{M}("{}", argument);
  EXPECT_EQ(capture->texts(), (Texts{std::string(1023, 'a'), std::string(1023, 'b'),
                                     std::string(1023, 'c'), "before", ""}));
}
