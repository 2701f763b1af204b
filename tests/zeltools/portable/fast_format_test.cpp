// The fast formatter against the C library: same text, same length, same
// bytes at every buffer size; and declining what it does not handle.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

#include "ZelTools/Portable.h"
#include "zeltools/cases_support.h"
#include "zeltools/portable/FastFormat.h"

// The cases pass odd, redundant and malformed conversions on purpose.
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#pragma GCC diagnostic ignored "-Wformat-security"

namespace {

namespace Portable = ZelTools::Portable;

constexpr char untouched = '#';

enum Path { declined, fast, either };

// The fast formatter and Portable::vsnprintf against the library's whole text
// at sizes 0, 1, half, one short, exact, one over and 1024: the fast path
// stores what fits and never a terminator; vsnprintf gives -1 for an error or
// a cut, else the length, and a terminator only when there is room. Returns
// whether the fast formatter took the format.
bool check(Path path, const char* format, ...) {
  SCOPED_TRACE(format);
  va_list args, copy;
  va_start(args, format);
  va_copy(copy, args);
  char* text = nullptr;
  const int library_length = vasprintf(&text, format, copy);
  va_end(copy);
  const bool failed = library_length < 0;
  const std::string whole = failed ? "" : std::string(text, std::size_t(library_length));
  std::free(text);
  const std::size_t n = whole.size();
  std::size_t length = 0;
  const bool handled = Portable::format_fast(nullptr, 0, format, args, length);
  EXPECT_TRUE(path == either || handled == (path == fast)) << "fast path taken: " << handled;
  for (std::size_t size :
       {std::size_t{0}, std::size_t{1}, n / 2, n ? n - 1 : 0, n, n + 1, std::size_t{1024}}) {
    SCOPED_TRACE("size " + std::to_string(size));
    std::string expected = whole.substr(0, size);
    expected.resize(size + 4, untouched);
    std::string buffer(size + 4, untouched);
    if (handled) {
      Portable::format_fast(&buffer[0], size, format, args, length);
      EXPECT_EQ(buffer, expected) << "what fits, without a terminator";
      EXPECT_EQ(length, n) << "the whole text's length, whatever was cut";
    }
    if (n < size) expected[n] = '\0';
    buffer.assign(size + 4, untouched);
    va_copy(copy, args);
    const int result = Portable::vsnprintf(&buffer[0], size, format, copy);
    va_end(copy);
    EXPECT_EQ(result, !failed && n <= size ? static_cast<int>(n) : -1);
    EXPECT_EQ(failed ? expected : buffer, expected);
  }
  va_end(args);
  return handled;
}

// Rows of int arguments from the cases file; here the conversions of 64-bit
// values and of other types. Random single conversions cover the rest.
TEST(FastFormatTest, SameAsTheLibraryOrDeclined) {
  for (const auto& c : cases::read("zeltools/portable/cases/fast_format.txt")) {
    int a[7] = {};
    for (std::size_t i = 2; i < c.size(); ++i) a[i - 2] = std::stoi(c[i]);
    check(c[0] == "fast" ? fast : declined, c[1].c_str(), a[0], a[1], a[2], a[3], a[4], a[5], a[6]);
  }
  check(fast, "%lld|%llx|%lu|%jd|%zu|%td", LLONG_MIN, ULLONG_MAX, ULONG_MAX, INTMAX_MIN, SIZE_MAX,
        PTRDIFF_MIN);
  check(fast, "[%p][%-12p]", reinterpret_cast<void*>(0xabc), reinterpret_cast<void*>(16));
  // Declined formats are the library's to judge.
  check(declined, "%lc %ls", L'x', L"wide");
  check(declined, "[%s][%.3s][%10s]", nullptr, nullptr, nullptr);
  check(declined, "[%05s]", "ab");
  check(declined, "%Lf %jx", 1.0L, UINTMAX_MAX);
  int written = -1;
  check(declined, "%n", &written);
}

// Random formats of one conversion, with edge and random values.
TEST(FastFormatTest, RandomFormatsMatchTheLibrary) {
  std::mt19937 random(20261206);
  auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
  auto literal = [&] { return std::string("ab %%  x=").substr(0, pick(10)); };
  const long long edges[] = {0, 1, -1, 7, INT_MIN, INT_MAX, LLONG_MIN, LLONG_MAX, 255, -129};
  const char* lengths[] = {"", "", "", "hh", "h", "l", "ll", "z", "j", "t"};
  int handled = 0;
  for (int i = 0; i < 4000 && !HasFailure(); ++i) {
    std::string format = literal() + "%";
    for (char flag : std::string("-0+ #"))
      if (pick(4) == 0) format += flag;
    const int width = pick(3), precision = pick(4);
    format += width == 1 ? std::to_string(pick(12)) : width == 2 ? "*" : "";
    format += precision == 1   ? "."
              : precision == 2 ? "." + std::to_string(pick(25))
              : precision == 3 ? ".*"
                               : "";
    const std::string length = lengths[pick(10)];
    const char conversion = "diuxXocspf"[pick(10)];
    if (std::strchr("diuxXo", conversion)) format += length;
    format += conversion + literal();
    const int stars = (width == 2) + (precision == 3);
    const long long v = pick(2) ? edges[pick(10)] : static_cast<long long>(random());
    auto with_stars = [&](auto value) {
      const int w = pick(41) - 20, p = pick(41) - 20;
      const char* f = format.c_str();
      return stars == 2   ? check(either, f, w, p, value)
             : stars == 1 ? check(either, f, w, value)
                          : check(either, f, value);
    };
    if (conversion == 's')
      handled += with_stars(&"text of words"[pick(14)]);
    else if (conversion == 'p')
      handled += with_stars(reinterpret_cast<void*>(v));
    else if (conversion == 'f')
      handled += with_stars(0.001 * v);
    else if (conversion == 'c' || length.empty() || length[0] == 'h')
      handled += with_stars(int(v));
    else
      handled += with_stars(v);  // l, ll, z, j, t: 64 bits
  }
  EXPECT_GT(handled, 2000);  // most formats take the fast path
}

}  // namespace
