// UtcTime and PhysicalTime: breakdown, conversion back, printed forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <limits>
#include <sstream>
#include <string>

#include "SimpleTime.h"

namespace {

using namespace SimpleTime;

const UtcTime::Separator printed_sep{'/', ' ', ':', '.'};
const UtcTime::Separator file_sep{'_', '_', '_', '_'};

PhysicalTime at(double milliseconds) { return PhysicalTime() + Millisecond * milliseconds; }

double since_epoch(const PhysicalTime& t) { return (t - PhysicalTime()) / Millisecond; }

std::string printed(const PhysicalTime& t) {
  std::ostringstream out;
  out << t;
  return out.str();
}

std::string printed(const UtcTime& u, const UtcTime::Separator& sep) {
  std::ostringstream out;
  u.print(out, sep);
  return out.str();
}

// 2007-03-05 04:02:07.045 UTC.
constexpr double sample_ms = 1173067327045.0;

TEST(UtcTimeTest, PrintWithBothSeparatorsAndUncheckedFields) {
  UtcTime sample(2007, 3, 5, 4, 2, 7, 45);
  EXPECT_EQ(printed(sample, printed_sep), "2007/03/05 04:02:07.045");
  EXPECT_EQ(printed(sample, file_sep), "2007_03_05_04_02_07_045");
  EXPECT_EQ(printed(UtcTime(), printed_sep), "1970/01/01 00:00:00.000");
  EXPECT_EQ(printed(UtcTime(12345, 13, 0, 24, -1, 75, 1000), printed_sep),
            "12345/13/00 24:-1:75.1000");
  // The fill goes back to blank, and widths touch only the numbers.
  std::ostringstream out;
  out.fill('*');
  sample.print(out, printed_sep);
  EXPECT_EQ(out.fill(), ' ');
  out << std::string("|") << std::setw(3) << 7;
  EXPECT_EQ(out.str(), "2007/03/05 04:02:07.045|  7");
}

TEST(UtcTimeTest, BreakdownOfTimePoints) {
  const struct {
    double milliseconds;
    const char* text;
    int millisecond;
  } cases[] = {{0, "1970/01/01 00:00:00.000", 0},
               {sample_ms, "2007/03/05 04:02:07.045", 45},
               {1001.7, "1970/01/01 00:00:01.001", 1},
               {951782400000.0, "2000/02/29 00:00:00.000", 0},
               {2147483647000.0, "2038/01/19 03:14:07.000", 0},
               {2147483648000.0 + 999, "2038/01/19 03:14:08.999", 999},
               {-1, "1969/12/31 23:59:59.999", 999},
               {-0.5, "1969/12/31 23:59:59.999", 999},
               {-86400000, "1969/12/31 00:00:00.000", 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    UtcTime u(at(c.milliseconds));
    EXPECT_EQ(printed(u, printed_sep), c.text);
    EXPECT_EQ(u.millisecond, c.millisecond);
  }
}

TEST(UtcTimeTest, UnbreakableTimePointsGiveTheEpoch) {
  const double odd[] = {std::numeric_limits<double>::quiet_NaN(),
                        std::numeric_limits<double>::infinity(), 1e300, -1e300};
  for (double v : odd) {
    SCOPED_TRACE(v);
    EXPECT_EQ(printed(UtcTime(at(v)), printed_sep), "1970/01/01 00:00:00.000");
  }
}

TEST(UtcTimeTest, PhysicalTimeReadsFieldsAsUtcInAnyZone) {
  const char* zones[] = {"UTC", "America/New_York", "Asia/Kolkata", "Pacific/Chatham"};
  const double points[] = {0, sample_ms, 1001, -1, -123456789, 1719792000123.0, 4102444800000.0};
  for (const char* zone : zones) {
    setenv("TZ", zone, 1);
    tzset();
    for (double p : points) {
      SCOPED_TRACE(std::string(zone) + " " + std::to_string(p));
      EXPECT_EQ(since_epoch(UtcTime(at(p)).physicalTime()), p);
    }
  }
}

TEST(UtcTimeTest, PhysicalTimeNormalisesOutOfRangeFields) {
  const struct {
    UtcTime fields;
    const char* text;
  } cases[] = {{UtcTime(2007, 13, 1), "2008/01/01 00:00:00.000"},
               {UtcTime(2007, 3, 5, 4, 2, 75), "2007/03/05 04:03:15.000"},
               {UtcTime(2007, 3, 0), "2007/02/28 00:00:00.000"},
               {UtcTime(2007, 1, 1, 0, 0, 0, 1500), "2007/01/01 00:00:01.500"},
               {UtcTime(2007, 1, 1, 0, 0, 0, -1), "2006/12/31 23:59:59.999"},
               {UtcTime(1969, 12, 31, 23, 59, 59), "-1"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(printed(c.fields.physicalTime()), c.text);
  }
}

TEST(UtcTimeTest, UnconvertibleFieldsThrow) {
  const UtcTime cases[] = {
      UtcTime(std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::max()),
      UtcTime(std::numeric_limits<std::int32_t>::min()),
      UtcTime(2007, std::numeric_limits<std::int32_t>::min()),
  };
  for (const auto& u : cases) {
    SCOPED_TRACE(u.year);
    EXPECT_THROW(u.physicalTime(), IncorrectUtcTime);
  }
}

TEST(PhysicalTimeTest, PrintedFormsAndArithmetic) {
  EXPECT_EQ(printed(at(-1)), "-0.001");  // before the epoch: printed as a duration
  EXPECT_EQ(printed(at(-90061500)), "-1::1:1:1.5");
  EXPECT_EQ(printed(at(sample_ms)), "2007/03/05 04:02:07.045");
  PhysicalTime t = at(1000);
  t += Second;
  t -= 500 * Millisecond;
  EXPECT_EQ(since_epoch(t), 1500);
  EXPECT_EQ(since_epoch(Second + t - Millisecond), 2499);
  EXPECT_EQ((at(500) - t) / Millisecond, -1000);
  EXPECT_TRUE(at(1) < at(2));
}

}  // namespace
