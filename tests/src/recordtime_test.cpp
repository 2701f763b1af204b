// The record time's text: the same second reuses its text with new
// milliseconds, a new second is printed anew, and times outside the ordinary
// range are left to the full print.
#include "RecordTime.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace Vantrel {
namespace {

using SimpleTime::Millisecond;
using SimpleTime::PhysicalTime;

// 2007-10-18 21:21:07.045 UTC.
const PhysicalTime base = PhysicalTime() + Millisecond * 1192742467045.0;

std::string text_of(RecordTimeText& cache, PhysicalTime time) {
  std::size_t length = 0;
  const char* text = cache.text(time, length);
  return text ? std::string(text, length) : "(whole)";
}

TEST(RecordTimeTextTest, SecondsAndMillisecondsInTurn) {
  RecordTimeText cache;
  const struct {
    double offset_ms;
    const char* expected;
  } rows[] = {
      {0, "2007/10/18 21:21:07.045"},
      {0.9, "2007/10/18 21:21:07.045"},
      {954, "2007/10/18 21:21:07.999"},
      {955, "2007/10/18 21:21:08.000"},
      {-46, "2007/10/18 21:21:06.999"},
      {60000, "2007/10/18 21:22:07.045"},
      {-1192742467045.0, "1970/01/01 00:00:00.000"},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(text_of(cache, base + Millisecond * row.offset_ms), row.expected) << row.offset_ms;
  }
}

TEST(RecordTimeTextTest, TimesOutsideTheOrdinaryRangeArePrintedWhole) {
  RecordTimeText cache;
  EXPECT_EQ(text_of(cache, PhysicalTime() - Millisecond), "(whole)");
  EXPECT_EQ(text_of(cache, PhysicalTime() + Millisecond * 1e15), "(whole)");
  std::ostringstream whole;
  RecordTimeText::print_whole(whole, base);
  EXPECT_EQ(whole.str(), "2007/10/18 21:21:07.045");
}

}  // namespace
}  // namespace Vantrel
