// A printf-style formatter for the conversions that trace messages use, with
// output and lengths byte-identical to the C library's (glibc's) vsnprintf.
//
// Every active message is formatted, so the usual formats must not pay for
// the C library's general machinery (locale lookups, stream setup, wide
// character support). format_fast handles:
//   literal text and "%%";
//   d i u x X o with flags '-' '0' '+' ' ' '#', width and precision (digits
//     or '*') and length modifiers hh h l ll z j t;
//   c and s with '-', width and (for s) precision;
//   p of a non-null pointer with '-' and width.
// It declines, and the caller formats with the C library instead, when the
// format holds anything else: floating conversions, %n, %m, positional
// arguments ("%1$d"), wide characters or strings ("%lc", "%ls"), the
// grouping flag, flags that the C library treats in its own way ('0' with c
// or s, any flag but '-' with p), a null string or pointer argument, widths
// or precisions past 1000000, a total length past INT_MAX, or a malformed
// or unknown conversion.
//
// Stateless and reentrant: it reads only its arguments and writes only the
// caller's buffer, so any thread may call it without a lock.
#ifndef ZELTOOLS_PORTABLE_FASTFORMAT_H
#define ZELTOOLS_PORTABLE_FASTFORMAT_H

#include <cstdarg>
#include <cstddef>

namespace ZelTools {
namespace Portable {

// Formats format with args into buffer, storing at most capacity characters
// and never a terminator, and sets length to the length of the whole text.
// Returns false when format holds something it declines (see above); the
// buffer may then be partly written and length holds nothing useful. Works on a copy of
// args, so the caller may hand the same args to the C library afterwards.
// buffer may be null when capacity is 0.
bool format_fast(char* buffer, std::size_t capacity, const char* format, va_list args,
                 std::size_t& length);

}  // namespace Portable
}  // namespace ZelTools

#endif
