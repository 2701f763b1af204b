// The fast formatter against the C library: same text, same length, same
// bytes at every buffer size; and declining what it does not handle.
#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "ZelTools/Portable.h"
#include "zeltools/portable/FastFormat.h"

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
  const int measured = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  if (measured < 0) return {true, ""};
  std::string text(static_cast<std::size_t>(measured) + 1, '\0');
  va_copy(copy, args);
  std::vsnprintf(&text[0], text.size(), format, copy);
  va_end(copy);
  text.pop_back();
  return {false, text};
}

// The fast formatter at one capacity: its length and the buffer afterwards.
std::string fast_bytes(std::size_t capacity, const char* format, va_list args,
                       std::size_t& length) {
  std::string buffer(capacity + 4, untouched);
  EXPECT_TRUE(Portable::format_fast(&buffer[0], capacity, format, args, length));
  return buffer;
}

// Portable::vsnprintf at one size against what its contract derives from the
// library's whole text: -1 for an error, else the text cut to size, with a
// terminator only when there is room.
void expect_portable_result(unsigned size, const Library& library, const char* format,
                            va_list args) {
  SCOPED_TRACE("size " + std::to_string(size));
  std::string buffer(size + 4, untouched);
  va_list copy;
  va_copy(copy, args);
  const int result = Portable::vsnprintf(&buffer[0], size, format, copy);
  va_end(copy);
  const std::string& whole = library.text;
  if (library.failed) {
    EXPECT_EQ(result, -1);
    return;
  }
  std::string stored = whole.substr(0, size);
  if (whole.size() < size) stored += '\0';
  stored.resize(size + 4, untouched);
  EXPECT_EQ(result, whole.size() <= size ? static_cast<int>(whole.size()) : -1);
  EXPECT_EQ(buffer, stored);
}

// Sizes 0, 1, a cut in the middle, one short, exact fit, one over, and the
// message buffer's size.
void expect_portable_at_all_sizes(const Library& library, const char* format, va_list args) {
  const unsigned n = static_cast<unsigned>(library.text.size());
  for (unsigned size : {0u, 1u, n / 2, n > 0 ? n - 1 : 0u, n, n + 1, 1024u})
    expect_portable_result(size, library, format, args);
}

void expect_same(const char* format, ...) __attribute__((format(printf, 1, 2)));
void expect_same(const char* format, ...) {
  SCOPED_TRACE(format);
  va_list args;
  va_start(args, format);
  const Library library = library_text(format, args);
  const std::string& whole = library.text;
  EXPECT_FALSE(library.failed);
  std::size_t length = 0;
  std::string full = fast_bytes(whole.size() + 1, format, args, length);
  EXPECT_EQ(full.substr(0, length), whole);
  EXPECT_EQ(length, whole.size());
  for (std::size_t capacity : {std::size_t{0}, std::size_t{1}, whole.size() / 2}) {
    std::string cut = fast_bytes(capacity, format, args, length);
    std::string expected = whole.substr(0, capacity);
    expected.resize(capacity + 4, untouched);
    EXPECT_EQ(cut, expected) << "capacity " << capacity;
  }
  expect_portable_at_all_sizes(library, format, args);
  va_end(args);
}

// Declined formats still give the library's results through Portable::vsnprintf.
void expect_declined(const char* format, ...) {
  SCOPED_TRACE(format);
  va_list args;
  va_start(args, format);
  char buffer[64];
  std::size_t length = 0;
  EXPECT_FALSE(Portable::format_fast(buffer, sizeof buffer, format, args, length));
  expect_portable_at_all_sizes(library_text(format, args), format, args);
  va_end(args);
}

// Whether format_fast handles the format (the arguments are not formatted
// by the library afterwards).
bool takes_fast_path(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char buffer[64];
  std::size_t length = 0;
  const bool handled = Portable::format_fast(buffer, sizeof buffer, format, args, length);
  va_end(args);
  return handled;
}

TEST(FastFormatTest, LiteralTextAndPercent) {
  expect_same("%s", "");
  expect_same("plain text without conversions");
  expect_same("100%% sure, %d%%", 42);
  expect_same("%%%%%c%%", 'x');
  expect_same("request %d served from cache in 12 ms, size 4096 bytes", 7);
}

TEST(FastFormatTest, ExtremeIntegers) {
  expect_same("%d|%i|%d", INT_MIN, INT_MAX, 0);
  expect_same("%lld|%lld", LLONG_MIN, LLONG_MAX);
  expect_same("%llu|%llx|%llo|%llX", ULLONG_MAX, ULLONG_MAX, ULLONG_MAX, ULLONG_MAX);
  expect_same("%ju|%jd|%" PRIu64, UINTMAX_MAX, INTMAX_MIN, UINT64_MAX);
  expect_same("%zu|%zd|%td|%lu", SIZE_MAX, static_cast<std::ptrdiff_t>(-1), PTRDIFF_MIN, ULONG_MAX);
  // Values wider than hh and h show the narrowing; the compiler warns.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
  expect_same("%hhd|%hhu|%hd|%hu|%hhx", 255, 511, 70000, 70000, -1);
#pragma GCC diagnostic pop
}

// Redundant flags ("%+ d", "%-08d") are among the cases; the compiler warns
// about them.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
TEST(FastFormatTest, FlagsWidthAndPrecision) {
  expect_same("[%.0d][%.0x][%#.0o][%#.0x][%+.0d][% .0i][%5.0d]", 0, 0u, 0u, 0u, 0, 0, 0);
  expect_same("[%#x][%#X][%#o][%#o][%#.3o][%#5o][%#08x]", 0u, 255u, 0u, 8u, 8u, 8u, 255u);
  expect_same("[%+ d][% +d][% d][%+d][% 05d][%+05d]", 5, 5, -5, 0, 42, -42);
  expect_same("[%-08d][%08.3d][%-+6d][%0-6d][%06x][%-#8o]", -42, -7, 3, 3, 0xabu, 9u);
  expect_same("[%1d][%2d][%10.5d][%.10d][%.*d][%*d]", 123, 123, -42, -42, 3, 4, -6, 9);
  expect_same("[%*d][%-*d][%*.*d][%.*d]", -6, 9, -6, 9, 8, -1, 5, -3, 77);
  expect_same("%1000000d|%.*u", 1, 1000000, 2u);  // the widest fields it takes
}

#pragma GCC diagnostic pop

TEST(FastFormatTest, CharactersStringsAndPointers) {
  expect_same("[%c][%3c][%-3c][%c]", 'a', 'b', 'c', '\0');
  expect_same("[%.0s][%.2s][%10.3s][%-6s][%s]", "abc", "abc", "abcdef", "ab", "");
  expect_same("[%*.*s][%*.*s][%.*s]", -6, 2, "abcd", 6, -1, "ab", -2, "xyz");
  int on_stack = 0;
  expect_same("[%p][%20p][%-20p]", static_cast<void*>(&on_stack), static_cast<void*>(&on_stack),
              reinterpret_cast<void*>(0x1));
}

// Flags the language gives no meaning here; the C library's choices hold.
TEST(FastFormatTest, IgnoredFlagsFollowTheLibrary) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
  expect_same("[%+u][% x][%+o][%#d][%+c][% s][%#s][%.3c]", 5u, 5u, 5u, 5, 'z', "s", "q", 'c');
#pragma GCC diagnostic pop
}

TEST(FastFormatTest, DeclinesWhatItDoesNotHandle) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
  expect_declined("x=%d y=%.3f", 1, 2.5);
  expect_declined("%e %g %a", 1e10, 0.1, 1.0);
  expect_declined("%2$d %1$d", 1, 2);
  expect_declined("%1$*2$d", 5, 8);
  expect_declined("%lc %ls", L'x', L"wide");
  expect_declined("%m");
  expect_declined("[%s][%.3s][%10s]", nullptr, nullptr, nullptr);
  expect_declined("[%p][%+p][%010p]", nullptr, reinterpret_cast<void*>(16),
                  reinterpret_cast<void*>(16));
  expect_declined("[%05s][%05c]", "ab", 'c');
  expect_declined("%'d", 1234567);
  expect_declined("%Lf %jx", 1.0L, UINTMAX_MAX);
  expect_declined("%2000000d", 1);
  expect_declined("[%*d][%.*d]", -2000000, 1, 2000000, 2);
#pragma GCC diagnostic pop
  EXPECT_FALSE(takes_fast_path("%n", nullptr));
}

// Malformed conversions are the library's to judge (the address sanitizer's
// printf interceptor notes them with a warning).
TEST(FastFormatTest, DeclinesMalformedConversions) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
  expect_declined("%5%");
  expect_declined("trailing %");
  expect_declined("%y", 1);
#pragma GCC diagnostic pop
}

// A random format with one conversion, its arguments, against the library.
class RandomFormats {
 public:
  explicit RandomFormats(unsigned seed) : random_(seed) {}

  bool run_one() {
    std::string format = literal() + "%";
    const char* flags = "-0+ #";
    for (int i = 0; i < 5; ++i)
      if (pick(4) == 0) format += flags[i];
    const int width_kind = pick(3), precision_kind = pick(4);
    if (width_kind == 1) format += std::to_string(pick(12));
    if (width_kind == 2) format += '*';
    if (precision_kind == 1) format += '.';
    if (precision_kind == 2) format += "." + std::to_string(pick(25));
    if (precision_kind == 3) format += ".*";
    const char* lengths[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t"};
    const std::string length = lengths[pick(10)];
    const char conversion = "diuxXocspf"[pick(10)];
    if (std::strchr("diuxXo", conversion)) format += length;
    format += conversion;
    format += literal();
    return with_value(format, length, conversion, width_kind == 2, precision_kind == 3);
  }

 private:
  int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(random_); }
  int star() { return pick(41) - 20; }
  std::string literal() { return std::string("ab %%  x=").substr(0, pick(10)); }
  long long integer() {
    const long long edges[] = {0, 1, -1, 7, INT_MIN, INT_MAX, LLONG_MIN, LLONG_MAX, 255, -129};
    return pick(2) ? edges[pick(10)] : static_cast<long long>(random_());
  }

  bool with_value(const std::string& format, const std::string& length, char conversion,
                  bool width_star, bool precision_star) {
    if (conversion == 'c') return with_stars(format, width_star, precision_star, int(integer()));
    if (conversion == 's')
      return with_stars(format, width_star, precision_star, &"text of words"[pick(14)]);
    if (conversion == 'p')
      return with_stars(format, width_star, precision_star, reinterpret_cast<void*>(integer()));
    if (conversion == 'f') return with_stars(format, width_star, precision_star, 0.001 * integer());
    const long long v = integer();
    if (length == "l") return with_stars(format, width_star, precision_star, long(v));
    if (length == "ll" || length == "j") return with_stars(format, width_star, precision_star, v);
    if (length == "z" || length == "t")
      return with_stars(format, width_star, precision_star, static_cast<std::ptrdiff_t>(v));
    return with_stars(format, width_star, precision_star, int(v));
  }
  template <typename T>
  bool with_stars(const std::string& format, bool width_star, bool precision_star, T value) {
    if (width_star && precision_star) return compare(format.c_str(), star(), star(), value);
    if (width_star || precision_star) return compare(format.c_str(), star(), value);
    return compare(format.c_str(), value);
  }

  // Whether the fast formatter took the format; a failure either way when
  // it disagrees with the library.
  static bool compare(const char* format, ...) {
    SCOPED_TRACE(format);
    va_list args;
    va_start(args, format);
    const Library library = library_text(format, args);
    char buffer[256];
    std::size_t length = 0;
    const bool handled = Portable::format_fast(buffer, sizeof buffer, format, args, length);
    if (handled) {
      EXPECT_FALSE(library.failed);
      EXPECT_EQ(std::string(buffer, length), library.text);
    }
    const unsigned size = static_cast<unsigned>(library.text.size());
    expect_portable_result(size, library, format, args);
    expect_portable_result(size / 2, library, format, args);
    va_end(args);
    return handled;
  }

  std::mt19937 random_;
};

TEST(FastFormatTest, RandomFormatsMatchTheLibrary) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"
  RandomFormats formats(20261206);
  int handled = 0;
  const int runs = 4000;
  for (int i = 0; i < runs && !HasFailure(); ++i) handled += formats.run_one();
  EXPECT_GT(handled, runs / 2);  // most formats take the fast path
#pragma GCC diagnostic pop
}

}  // namespace
