// The fast formatter against the C library: same text, same length, same
// bytes at every buffer size; and declining what it does not handle.
#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "ZelTools/Portable.h"
#include "zeltools/portable/FastFormat.h"

// The cases pass odd, redundant and malformed conversions on purpose.
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

namespace Portable = ZelTools::Portable;

constexpr char untouched = '#';

// The library's whole text, or failed when it reports an error.
struct Library {
  bool failed;
  std::string text;
};

Library library_text(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char* text = nullptr;
  const int length = vasprintf(&text, format, copy);
  va_end(copy);
  Library library{length < 0, length < 0 ? "" : std::string(text, std::size_t(length))};
  std::free(text);
  return library;
}

enum Path { declined, fast, either };

// The fast formatter and Portable::vsnprintf against the library's whole
// text, at sizes 0, 1, a cut in the middle, one short, exact fit, one over
// and the message buffer's. The fast formatter, when it takes the format,
// stores what fits and no more; Portable::vsnprintf gives -1 for an error or
// a cut, else the length, and a terminator only when there is room.
// Returns whether the fast formatter took the format.
bool check(Path path, const char* format, ...) {
  SCOPED_TRACE(format);
  va_list args;
  va_start(args, format);
  const Library library = library_text(format, args);
  const std::string& whole = library.text;
  const std::size_t n = whole.size();
  std::size_t length = 0;
  std::string buffer(n + 1, untouched);
  const bool handled = Portable::format_fast(&buffer[0], n + 1, format, args, length);
  EXPECT_TRUE(path == either || handled == (path == fast)) << "fast path taken: " << handled;
  EXPECT_EQ(handled ? buffer.substr(0, length) : whole, whole);
  EXPECT_TRUE(!handled || (!library.failed && length == n));
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, n / 2, n ? n - 1 : 0, n, n + 1, std::size_t{1024}}) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::string expected = whole.substr(0, size);
    buffer.assign(size + 4, untouched);
    if (handled && size <= n) {
      Portable::format_fast(&buffer[0], size, format, args, length);
      EXPECT_EQ(buffer, expected + std::string(4, untouched));
    }
    if (n < size) expected += '\0';
    expected.resize(size + 4, untouched);
    buffer.assign(size + 4, untouched);
    va_list copy;
    va_copy(copy, args);
    const int result = Portable::vsnprintf(&buffer[0], size, format, copy);
    va_end(copy);
    EXPECT_EQ(result, !library.failed && n <= size ? static_cast<int>(n) : -1);
    EXPECT_EQ(library.failed ? expected : buffer, expected);
  }
  va_end(args);
  return handled;
}

// Extremes, every flag and length, widths and precisions from the argument
// list (negative ones too); redundant and ignored flags follow the library.
TEST(FastFormatTest, SameAsTheLibrary) {
  check(fast, "%s", "");
  check(fast, "100%% sure, %d%%%c%s", 42, 'x', "");
  check(fast, "%d|%i|%d|%lld|%lld", INT_MIN, INT_MAX, 0, LLONG_MIN, LLONG_MAX);
  check(fast, "%llu|%llx|%llo|%llX", ULLONG_MAX, ULLONG_MAX, ULLONG_MAX, ULLONG_MAX);
  check(fast, "%ju|%jd|%" PRIu64, UINTMAX_MAX, INTMAX_MIN, UINT64_MAX);
  check(fast, "%zu|%zd|%td|%lu", SIZE_MAX, static_cast<std::ptrdiff_t>(-1), PTRDIFF_MIN, ULONG_MAX);
  check(fast, "%hhd|%hhu|%hd|%hu|%hhx", 255, 511, 70000, 70000, -1);
  check(fast, "[%.0d][%.0x][%#.0o][%#.0x][%+.0d][% .0i][%5.0d]", 0, 0u, 0u, 0u, 0, 0, 0);
  check(fast, "[%#x][%#X][%#o][%#o][%#.3o][%#5o][%#08x]", 0u, 255u, 0u, 8u, 8u, 8u, 255u);
  check(fast, "[%+ d][% +d][% d][%+d][% 05d][%+05d]", 5, 5, -5, 0, 42, -42);
  check(fast, "[%-08d][%08.3d][%-+6d][%0-6d][%06x][%-#8o]", -42, -7, 3, 3, 0xabu, 9u);
  check(fast, "[%1d][%2d][%10.5d][%.10d][%.*d][%*d]", 123, 123, -42, -42, 3, 4, -6, 9);
  check(fast, "[%*d][%-*d][%*.*d][%.*d]", -6, 9, -6, 9, 8, -1, 5, -3, 77);
  check(fast, "%1000000d|%.*u", 1, 1000000, 2u);  // the widest fields it takes
  check(fast, "[%c][%3c][%-3c][%c]", 'a', 'b', 'c', '\0');
  check(fast, "[%.0s][%.2s][%10.3s][%-6s][%s]", "abc", "abc", "abcdef", "ab", "");
  check(fast, "[%*.*s][%*.*s][%.*s]", -6, 2, "abcd", 6, -1, "ab", -2, "xyz");
  int on_stack = 0;
  check(fast, "[%p][%20p][%-20p]", static_cast<void*>(&on_stack), static_cast<void*>(&on_stack),
        reinterpret_cast<void*>(0x1));
  check(fast, "[%+u][% x][%+o][%#d][%+c][% s][%#s][%.3c]", 5u, 5u, 5u, 5, 'z', "s", "q", 'c');
}

// Declined formats, malformed ones included (the address sanitizer's printf
// interceptor notes those with a warning), are the library's to judge.
TEST(FastFormatTest, DeclinesWhatItDoesNotHandle) {
  check(declined, "x=%d y=%.3f", 1, 2.5);
  check(declined, "%e %g %a", 1e10, 0.1, 1.0);
  check(declined, "%2$d %1$d", 1, 2);
  check(declined, "%1$*2$d", 5, 8);
  check(declined, "%lc %ls", L'x', L"wide");
  check(declined, "%m");
  check(declined, "[%s][%.3s][%10s]", nullptr, nullptr, nullptr);
  check(declined, "[%p][%+p][%010p]", nullptr, reinterpret_cast<void*>(16),
        reinterpret_cast<void*>(16));
  check(declined, "[%05s][%05c]", "ab", 'c');
  check(declined, "%'d", 1234567);
  check(declined, "%Lf %jx", 1.0L, UINTMAX_MAX);
  check(declined, "%2000000d", 1);
  check(declined, "[%*d][%.*d]", -2000000, 1, 2000000, 2);
  check(declined, "%5%");
  check(declined, "trailing %");
  check(declined, "%y", 1);
  int written = -1;
  check(declined, "%n", &written);
}

// A random format with one conversion, its arguments, against the library.
class RandomFormats {
 public:
  explicit RandomFormats(unsigned seed) : random_(seed) {}

  bool run_one() {
    std::string format = literal() + "%";
    for (char flag : std::string("-0+ #"))
      if (pick(4) == 0) format += flag;
    const int width = pick(3), precision = pick(4);
    format += width == 1 ? std::to_string(pick(12)) : width == 2 ? "*" : "";
    format += precision == 1   ? "."
              : precision == 2 ? "." + std::to_string(pick(25))
              : precision == 3 ? ".*"
                               : "";
    const char* lengths[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t"};
    const std::string length = lengths[pick(10)];
    const char conversion = "diuxXocspf"[pick(10)];
    if (std::strchr("diuxXo", conversion)) format += length;
    format += conversion + literal();
    const int stars = (width == 2) + (precision == 3);
    const long long v = integer();
    if (conversion == 'c') return with_stars(format, stars, int(v));
    if (conversion == 's') return with_stars(format, stars, &"text of words"[pick(14)]);
    if (conversion == 'p') return with_stars(format, stars, reinterpret_cast<void*>(v));
    if (conversion == 'f') return with_stars(format, stars, 0.001 * v);
    if (length == "l") return with_stars(format, stars, long(v));
    if (length == "ll" || length == "j") return with_stars(format, stars, v);
    if (length == "z" || length == "t") return with_stars(format, stars, std::ptrdiff_t(v));
    return with_stars(format, stars, int(v));
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  int star() { return pick(41) - 20; }
  std::string literal() { return std::string("ab %%  x=").substr(0, pick(10)); }
  long long integer() {
    const long long edges[] = {0, 1, -1, 7, INT_MIN, INT_MAX, LLONG_MIN, LLONG_MAX, 255, -129};
    return pick(2) ? edges[pick(10)] : static_cast<long long>(random_());
  }
  template <typename T>
  bool with_stars(const std::string& format, int stars, T value) {
    const int width = star(), precision = star();
    if (stars == 2) return check(either, format.c_str(), width, precision, value);
    if (stars == 1) return check(either, format.c_str(), width, value);
    return check(either, format.c_str(), value);
  }

  std::mt19937 random_;
};

TEST(FastFormatTest, RandomFormatsMatchTheLibrary) {
  RandomFormats formats(20261206);
  int handled = 0;
  const int runs = 4000;
  for (int i = 0; i < runs && !HasFailure(); ++i) handled += formats.run_one();
  EXPECT_GT(handled, runs / 2);  // most formats take the fast path
}

}  // namespace
