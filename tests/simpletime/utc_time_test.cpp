// UtcTime and PhysicalTime: breakdown, conversion back, printed forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <iomanip>
#include <sstream>

#include "SimpleTime.h"
#include "zeltools/cases_support.h"

namespace {

using namespace SimpleTime;

const UtcTime::Separator printed_sep{'/', ' ', ':', '.'};

PhysicalTime at(double milliseconds) { return PhysicalTime() + Millisecond * milliseconds; }

// What a time prints, with the separators when given.
template <typename T, typename... Separator>
std::string printed(const T& t, const Separator&... sep) {
  std::ostringstream out;
  if constexpr (sizeof...(sep) == 0) out << t;
  if constexpr (sizeof...(sep) == 1) t.print(out, sep...);
  return out.str();
}

// Fields padded with zeros to their widths; the fill goes back to blank, and
// widths touch only the numbers.
TEST(UtcTimeTest, PrintPadsFieldsAndRestoresTheFill) {
  std::ostringstream out;
  out.fill('*');
  UtcTime(2007, 3, 5, 4, 2, 7, 45).print(out, printed_sep);
  EXPECT_EQ(out.fill(), ' ');
  out << std::string("|") << std::setw(3) << 7;
  EXPECT_EQ(out.str(), "2007/03/05 04:02:07.045|  7");
}

TEST(UtcTimeTest, BreakdownOfTimePoints) {
  for (const auto& c : cases::read("simpletime/cases/utc_breakdown.txt")) {
    UtcTime u(at(std::stod(c[0])));
    EXPECT_EQ(printed(u, printed_sep), c[1]) << c[0];
    EXPECT_EQ(u.millisecond, std::stoi(c[2])) << c[0];
  }
}

// The fields are read as UTC whatever the local zone.
TEST(UtcTimeTest, PhysicalTimeFromFieldsInAnyZone) {
  for (const char* zone : {"UTC", "America/New_York", "Asia/Kolkata", "Pacific/Chatham"}) {
    setenv("TZ", zone, 1);
    tzset();
    for (const auto& c : cases::read("simpletime/cases/utc_normalised.txt")) {
      std::istringstream in(c[0]);
      std::int32_t f[7];
      for (auto& field : f) in >> field;
      const UtcTime fields(f[0], f[1], f[2], f[3], f[4], f[5], f[6]);
      if (c[1] == "IncorrectUtcTime") {
        EXPECT_THROW(fields.physicalTime(), IncorrectUtcTime) << c[0];
      } else {
        EXPECT_EQ(printed(fields.physicalTime()), c[1]) << zone << " " << c[0];
      }
    }
  }
}

}  // namespace
