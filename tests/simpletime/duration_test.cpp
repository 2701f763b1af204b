// Duration: arithmetic, comparisons, chopping and the printed form.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "SimpleTime.h"
#include "zeltools/cases_support.h"

namespace {

using namespace SimpleTime;

const double nan_value = std::numeric_limits<double>::quiet_NaN();

double ms(const Duration& d) { return d / Millisecond; }

// The operators out of line: division, and its zero divisors, which throw
// and leave the value as it was; NaN divides.
TEST(DurationTest, DivisionAndDivisionByZero) {
  Duration d = 5 * Second + Minute * 1.5 - 1.5 * Second;
  d *= 2;
  d /= 4.0;
  EXPECT_EQ(ms(d), 46750);
  EXPECT_THROW(d /= 0.0, DivideByZero);
  EXPECT_THROW(d /= -0.0, DivideByZero);
  EXPECT_THROW(static_cast<void>(d / (Second - Second)), DivideByZero);
  EXPECT_THROW(d %= Zero, DivideByZero);
  EXPECT_EQ(ms(d), 46750);
  EXPECT_NO_THROW(d /= nan_value);
  EXPECT_TRUE(std::isnan(ms(d)));
}

TEST(DurationTest, Chopping) {
  const Duration* const units[] = {&Millisecond, &Second, &Minute};
  for (const auto& c : cases::read("simpletime/cases/duration_chopped.txt")) {
    const double value = std::stod(c[0]), remainder = std::stod(c[2]);
    const Duration& unit = *units[std::stoi(c[1])];
    const Duration original = value * Millisecond;
    Duration chopped = original;
    for (const Duration& d : {original.chop(unit), chopped.chop(unit)})
      EXPECT_DOUBLE_EQ(ms(d), remainder) << c[0];
    EXPECT_DOUBLE_EQ(ms(chopped), remainder) << c[0];
    EXPECT_EQ(ms(original), value) << "the const form leaves the value";
  }
}

TEST(DurationTest, PrintedForms) {
  for (const auto& c : cases::read("simpletime/cases/duration_printed.txt")) {
    std::ostringstream out;
    out << std::stod(c[0]) * Millisecond;
    EXPECT_EQ(out.str(), c[1]) << c[0];
  }
  std::ostringstream out;
  for (double odd : {nan_value, HUGE_VAL, -1e300}) out << Second * odd;  // must not crash
}

TEST(DurationTest, ExceptionTexts) {
  std::ostringstream out;
  SimpleTime::Exception().print(out);
  IncorrectUtcTime().print(out << '|');
  DivideByZero().print(out << '|');
  EXPECT_EQ(out.str(),
            "unknown SimpleTime::Exception|incorrect SimpleTime::UtcTime|"
            "cannot DivideByZero a SimpleTime::Duration");
}

}  // namespace
