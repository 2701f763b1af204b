// Decimal digits against std::to_string at each boundary of the two-digit
// steps (copy_short is checked byte for byte through the formatter's output).
#include "zeltools/portable/ShortText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

using ZelTools::Portable::decimal_digits;

TEST(ShortTextTest, DecimalDigitsMatchToString) {
  const std::uint64_t values[] = {0, 1, 9, 10, 99, 100, 101, 99999, 100000, UINT32_MAX, UINT64_MAX};
  for (std::uint64_t value : values) {
    char text[20];
    EXPECT_EQ(std::string(decimal_digits(value, text + 20), text + 20), std::to_string(value));
  }
}

}  // namespace
