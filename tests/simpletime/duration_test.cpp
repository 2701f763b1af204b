// Duration: constants, arithmetic, chopping and the printed form.
#include <gtest/gtest.h>

#include <cmath>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>

#include "SimpleTime.h"

namespace {

using namespace SimpleTime;

std::string printed(const Duration& d) {
  std::ostringstream out;
  out << d;
  return out.str();
}

double ms(const Duration& d) { return d / Millisecond; }

TEST(DurationTest, Arithmetic) {
  Duration d = 5 * Second + Minute * 1.5 - 1.5 * Second;
  d *= 2;
  d /= 4.0;
  EXPECT_EQ(ms(d), 46750);
  EXPECT_EQ(ms(-Second * 3), -3000);
  EXPECT_DOUBLE_EQ(Hour / Minute, 60.0);
  EXPECT_DOUBLE_EQ(Day / Hour, 24.0);
  EXPECT_EQ(&Duration::Day, &SimpleTime::Day) << "one cell per constant";
  EXPECT_EQ(Duration(), Zero);
}

TEST(DurationTest, ComparisonsFollowIeee) {
  Duration nan = Second * std::numeric_limits<double>::quiet_NaN();
  EXPECT_TRUE(Second < Minute);
  EXPECT_FALSE(Minute < Second);
  EXPECT_TRUE(Second >= Second);
  EXPECT_TRUE(Second == 1000 * Millisecond);
  EXPECT_FALSE(nan == nan);
  EXPECT_FALSE(nan < Second);
  EXPECT_FALSE(Second < nan);
  EXPECT_TRUE(nan >= Second) << ">= is 'not <'";
  EXPECT_TRUE(Second - Second == -(Second - Second)) << "0 equals -0";
}

TEST(DurationTest, DivisionOrChoppingByZeroThrowsAndKeepsValue) {
  Duration d = 3 * Second;
  EXPECT_THROW(d /= 0.0, DivideByZero);
  EXPECT_THROW(d /= -0.0, DivideByZero);
  EXPECT_THROW(static_cast<void>(d / (Second - Second)), DivideByZero);
  EXPECT_THROW(d %= Zero, DivideByZero);
  EXPECT_THROW(d.chop(Zero), DivideByZero);
  const Duration fixed = d;
  EXPECT_THROW(fixed.chop(Zero), DivideByZero);
  EXPECT_EQ(ms(d), 3000);
  EXPECT_NO_THROW(d /= std::numeric_limits<double>::quiet_NaN());
  EXPECT_TRUE(std::isnan(ms(d)));
}

TEST(DurationTest, Chopping) {
  const struct {
    double value;
    const Duration* unit;
    double remainder;
  } cases[] = {{2500, &Second, 500},   {-2500, &Second, -500},  {1000, &Second, 0},
               {999, &Second, 999},    {90000, &Minute, 30000}, {1.75, &Millisecond, 0.75},
               {-0.25, &Second, -0.25}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    Duration d = c.value * Millisecond;
    const Duration original = d;
    EXPECT_DOUBLE_EQ(ms(original.chop(*c.unit)), c.remainder);
    EXPECT_EQ(original, d) << "the const form leaves the value";
    Duration by_operator = d;
    by_operator %= *c.unit;
    EXPECT_DOUBLE_EQ(ms(by_operator), c.remainder);
    EXPECT_DOUBLE_EQ(ms(d.chop(*c.unit)), c.remainder);
    EXPECT_DOUBLE_EQ(ms(d), c.remainder);
  }
}

TEST(DurationTest, ChoppingHugeValuesSaturatesTheCount) {
  // 1e12 ms by Millisecond: the count does not fit 32 bits and saturates.
  Duration d = 1e12 * Millisecond;
  d %= Millisecond;
  EXPECT_EQ(ms(d), 1e12 - 2147483647.0);
  Duration nan = Second * std::numeric_limits<double>::quiet_NaN();
  EXPECT_NO_THROW(nan %= Second);
}

TEST(DurationTest, PrintedForms) {
  const struct {
    double milliseconds;
    const char* text;
  } cases[] = {{0, "0"},
               {1500, "1.5"},
               {-1500, "-1.5"},
               {1, "0.001"},
               {-1, "-0.001"},
               {0.0004, "0"},
               {0.0006, "1e-06"},
               {12345.6789, "12.3457"},
               {59999, "59.999"},
               {60000, "1:0"},
               {61000, "1:1"},
               {3600000, "1:0:0"},
               {3605000, "1:0:5"},
               {86400000, "1::0:0:0"},
               {90061500, "1::1:1:1.5"},
               {119999.9999, "1:60"},
               {-90061500, "-1::1:1:1.5"},
               {25 * 86400000.0, "25::0:0:0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.milliseconds);
    EXPECT_EQ(printed(c.milliseconds * Millisecond), c.text);
  }
}

TEST(DurationTest, PrintingFollowsTheStreamsFloatSettings) {
  std::ostringstream out;
  out << std::fixed << std::setprecision(3) << 61500 * Millisecond;
  EXPECT_EQ(out.str(), "1:1.500");
  for (double odd : {std::numeric_limits<double>::quiet_NaN(), HUGE_VAL, -1e300}) {
    EXPECT_FALSE(printed(Second * odd).empty());  // and does not crash
  }
}

TEST(DurationTest, ExceptionTexts) {
  const struct {
    const ZelTools::Exception& e;
    const char* text;
  } cases[] = {
      {SimpleTime::Exception(), "unknown SimpleTime::Exception"},
      {IncorrectUtcTime(), "incorrect SimpleTime::UtcTime"},
      {DivideByZero(), "cannot DivideByZero a SimpleTime::Duration"},
  };
  for (const auto& c : cases) {
    std::ostringstream out;
    c.e.print(out);
    EXPECT_EQ(out.str(), c.text);
    EXPECT_STREQ(c.e.what(), "ZelTools::Exception");
  }
  EXPECT_THROW(Second / Zero, ZelTools::Exception);
}

}  // namespace
