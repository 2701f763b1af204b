// The hot paths' small text routines: digits and short copies, checked
// against the standard library at every length and at the extremes.
#include "zeltools/portable/ShortText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

namespace {

using ZelTools::Portable::copy_short;
using ZelTools::Portable::decimal_digits;

TEST(ShortTextTest, DecimalDigitsMatchToString) {
  const std::uint64_t values[] = {
      0,    1,     9,      10,         99,         100,        101,
      4096, 99999, 100000, 1234567890, UINT32_MAX, UINT64_MAX, UINT64_MAX / 10};
  for (std::uint64_t value : values) {
    char text[20];
    char* first = decimal_digits(value, text + sizeof text);
    EXPECT_EQ(std::string(first, text + sizeof text), std::to_string(value));
  }
}

// Every length from 0 to 40, at a misaligned source: exactly the run is
// copied, nothing before or after it is touched.
TEST(ShortTextTest, CopyShortCopiesExactlyTheRun) {
  char source[64];
  for (int i = 0; i < 64; ++i) source[i] = static_cast<char>('a' + i % 26);
  for (std::size_t count = 0; count <= 40; ++count) {
    char target[64];
    std::memset(target, '#', sizeof target);
    copy_short(target + 3, source + 1, count);
    EXPECT_EQ(std::string(target, 3), "###") << count;
    EXPECT_EQ(std::string(target + 3, count), std::string(source + 1, count)) << count;
    EXPECT_EQ(std::string(target + 3 + count, 64 - 3 - count), std::string(61 - count, '#'))
        << count;
  }
}

}  // namespace
