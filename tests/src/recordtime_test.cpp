// The record time's text: the same second reuses its text with new
// milliseconds, a new second is printed anew, and times outside the ordinary
// range are left to the full print.
#include "RecordTime.h"

#include <gtest/gtest.h>

#include <sstream>

#include "hosts/context_support.h"

using SimpleTime::Millisecond;

TEST(RecordTimeTextTest, TextsInTurnAndTheWholePrint) {
  // 2007-10-18 21:21:07.045 UTC.
  const SimpleTime::PhysicalTime base = SimpleTime::PhysicalTime() + Millisecond * 1192742467045.0;
  Vantrel::RecordTimeText cache;
  for (const auto& row : context_support::case_rows("record_time.txt")) {
    std::size_t length = 0;
    const char* text = cache.text(base + Millisecond * std::stod(row[0]), length);
    EXPECT_EQ(text ? std::string(text, length) : "(whole)", row[1]) << row[0];
  }
  std::ostringstream whole;
  Vantrel::RecordTimeText::print_whole(whole, base);
  EXPECT_EQ(whole.str(), "2007/10/18 21:21:07.045");
}
