// vsnprintf's bad arguments (its results at each buffer size are checked
// with the fast formatter's).
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "ZelTools/Portable.h"

namespace {

namespace Portable = ZelTools::Portable;

int format_into(char* buffer, unsigned int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = Portable::vsnprintf(buffer, size, format, args);
  va_end(args);
  return result;
}

TEST(VsnprintfTest, BadArgumentsDoNotCrash) {
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(format_into(nullptr, 4, "%s", "ab"), -1);
  EXPECT_EQ(format_into(nullptr, 0, "%s", ""), 0);
  EXPECT_EQ(format_into(buffer, 4, nullptr), -1);
  EXPECT_EQ(std::string(buffer, 4), "####");
}

}  // namespace
