// getenv, vsnprintf and the root exception.
#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "ZelTools/Portable.h"

namespace {

namespace Portable = ZelTools::Portable;

TEST(GetenvTest, BothFormsTellUnsetFromEmpty) {
  const char* values[] = {nullptr, "/var/log/app", ""};
  for (const char* value : values) {
    SCOPED_TRACE(value ? value : "(unset)");
    value ? setenv("VANTREL_ENV_TEST", value, 1) : unsetenv("VANTREL_ENV_TEST");
    std::string expected = value ? value : "dflt";
    EXPECT_EQ(Portable::getenv("VANTREL_ENV_TEST", "dflt"), expected);
    std::string kept = "dflt";
    EXPECT_EQ(&Portable::getenv("VANTREL_ENV_TEST", kept), &kept);
    EXPECT_EQ(kept, expected);
  }
}

int format_into(char* buffer, unsigned int size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int format_into(char* buffer, unsigned int size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int result = Portable::vsnprintf(buffer, size, format, args);
  va_end(args);
  return result;
}

TEST(VsnprintfTest, ResultsAndTermination) {
  const struct {
    unsigned int size;
    const char* text;
    int result;
    const char* stored;  // the buffer afterwards, '#' = untouched
  } cases[] = {
      {4, "abcdef", -1, "abcd####"},  // longer: size chars, no NUL
      {4, "abcd", 4, "abcd####"},     // exactly size: no NUL
      {4, "abc", 3, "abc\0####"},     // shorter: with NUL
      {4, "", 0, "\0#######"},        //
      {1, "ab", -1, "a#######"},      //
      {0, "", 0, "########"},         // nothing stored at all
      {0, "a", -1, "########"},       //
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " into " + std::to_string(c.size));
    char buffer[8];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(format_into(buffer, c.size, "%s", c.text), c.result);
    EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(c.stored, 8));
  }
  std::string long_text(5000, 'z');
  char message[1024];
  EXPECT_EQ(format_into(message, sizeof message, "%s", long_text.c_str()), -1);
  EXPECT_EQ(std::string(message, sizeof message), long_text.substr(0, 1024));
}

TEST(VsnprintfTest, FormatsArgumentsAcrossTheTruncation) {
  char buffer[6];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(format_into(buffer, 5, "x=%d %s", 12345, "tail"), -1);
  EXPECT_EQ(std::string(buffer, 6), "x=123#");
  EXPECT_EQ(format_into(buffer, 6, "%c%05.1f", 'v', 2.25), 6);
  EXPECT_EQ(std::string(buffer, 6), "v002.2");
}

TEST(VsnprintfTest, BadArgumentsDoNotCrash) {
  char buffer[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(format_into(nullptr, 4, "%s", "ab"), -1);
  EXPECT_EQ(format_into(nullptr, 0, "%s", ""), 0);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
  EXPECT_EQ(format_into(buffer, 4, nullptr), -1);
#pragma GCC diagnostic pop
  EXPECT_EQ(std::string(buffer, 4), "####");
}

// ZelTools::Exception is abstract; a derived class stands in for the support
// layers' exceptions.
struct Overriding : ZelTools::Exception {
  std::ostream& print(std::ostream& os) const override { return os << "own text"; }
};

TEST(ExceptionTest, PrintIsVirtualAndWhatIsFixed) {
  Overriding original;
  Overriding copy(original);
  const ZelTools::Exception& base = copy;
  std::ostringstream out;
  base.print(out);
  EXPECT_EQ(out.str(), "own text");
  try {
    throw Overriding();
  } catch (const std::runtime_error& caught) {
    EXPECT_STREQ(caught.what(), "ZelTools::Exception");
  }
}

}  // namespace
