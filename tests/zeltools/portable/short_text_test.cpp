// Digits and short copies, against the standard library at every length.
#include "zeltools/portable/ShortText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using ZelTools::Portable::copy_short;
using ZelTools::Portable::decimal_digits;

TEST(ShortTextTest, DecimalDigitsMatchToString) {
  const std::uint64_t values[] = {0, 1, 9, 10, 99, 100, 101, 99999, 100000, UINT32_MAX, UINT64_MAX};
  for (std::uint64_t value : values) {
    char text[20];
    EXPECT_EQ(std::string(decimal_digits(value, text + 20), text + 20), std::to_string(value));
  }
}

// Every length from 0 to 40, misaligned: the run is copied, nothing else.
TEST(ShortTextTest, CopyShortCopiesExactlyTheRun) {
  const std::string source = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (std::size_t count = 0; count <= 40; ++count) {
    std::string target(64, '#');
    copy_short(&target[3], source.data() + 1, count);
    EXPECT_EQ(target, "###" + source.substr(1, count) + std::string(61 - count, '#')) << count;
  }
}

}  // namespace
