// Small text routines of the hot paths (the printf-style formatter, the text
// and XML record writers): decimal digits two at a time, and copies of the
// short runs a record is made of without a call into the C library.
//
// Stateless inline functions; any thread may call them.
#ifndef ZELTOOLS_PORTABLE_SHORTTEXT_H
#define ZELTOOLS_PORTABLE_SHORTTEXT_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace ZelTools {
namespace Portable {

// The decimal digits of `value`, written backwards so that they end at
// `end`; returns where they start. 20 characters hold any 64-bit value.
inline char* decimal_digits(std::uint64_t value, char* end) {
  static constexpr char pairs[] =
      "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
      "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
      "8081828384858687888990919293949596979899";
  while (value >= 100) {
    end -= 2;
    std::memcpy(end, pairs + 2 * (value % 100), 2);
    value /= 100;
  }
  if (value >= 10) {
    end -= 2;
    std::memcpy(end, pairs + 2 * value, 2);
  } else {
    *--end = static_cast<char>('0' + value);
  }
  return end;
}

namespace ShortTextDetail {

// Copies count characters, sizeof(Word) <= count <= 2 * sizeof(Word), as two
// possibly overlapping words.
template <class Word>
inline void copy_two_words(char* to, const char* from, std::size_t count) {
  Word head;
  Word tail;
  std::memcpy(&head, from, sizeof head);
  std::memcpy(&tail, from + count - sizeof tail, sizeof tail);
  std::memcpy(to, &head, sizeof head);
  std::memcpy(to + count - sizeof tail, &tail, sizeof tail);
}

}  // namespace ShortTextDetail

// Copies count characters (the ranges must not overlap). The short runs
// that dominate (bars, digits, words between conversions) move in at most
// two words; only runs of 16 or more call memcpy.
inline void copy_short(char* to, const char* from, std::size_t count) {
  if (count >= 16) {
    std::memcpy(to, from, count);
  } else if (count >= 8) {
    ShortTextDetail::copy_two_words<std::uint64_t>(to, from, count);
  } else if (count >= 4) {
    ShortTextDetail::copy_two_words<std::uint32_t>(to, from, count);
  } else if (count != 0) {
    to[0] = from[0];
    to[count - 1] = from[count - 1];
    if (count == 3) to[1] = from[1];
  }
}

}  // namespace Portable
}  // namespace ZelTools

#endif  // ZELTOOLS_PORTABLE_SHORTTEXT_H
