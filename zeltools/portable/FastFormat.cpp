#include "zeltools/portable/FastFormat.h"

#include <climits>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "zeltools/portable/ShortText.h"

namespace ZelTools {
namespace Portable {
namespace {

// Widths and precisions beyond this are left to the C library, which also
// owns the overflow rules of huge fields.
constexpr int max_field = 1000000;

// A va_list wrapped so that helpers can take it by reference on every ABI
// (on some it is an array type, on others a struct).
struct Arguments {
  va_list list;
};

// Where the text goes: the first capacity characters land in the buffer, the
// rest are only counted.
class Sink {
 public:
  Sink(char* buffer, std::size_t capacity) : begin_(buffer), next_(buffer), room_(capacity) {}

  void put(const char* text, std::size_t count) {
    if (count <= room_) {
      copy_short(next_, text, count);
      advance(count);
    } else {
      if (room_ != 0) std::memcpy(next_, text, room_);
      overflow(count);
    }
  }

  void put(char c) {
    if (room_ != 0) {
      *next_ = c;
      advance(1);
    } else {
      ++dropped_;
    }
  }

  void fill(char c, std::size_t count) {
    if (count == 0) return;
    if (count <= room_) {
      std::memset(next_, c, count);
      advance(count);
    } else {
      if (room_ != 0) std::memset(next_, c, room_);
      overflow(count);
    }
  }

  std::size_t length() const { return static_cast<std::size_t>(next_ - begin_) + dropped_; }

 private:
  void advance(std::size_t count) {
    next_ += count;
    room_ -= count;
  }
  // The buffer is full; count characters went partly or wholly beyond it.
  void overflow(std::size_t count) {
    dropped_ += count - room_;
    next_ += room_;
    room_ = 0;
  }

  char* begin_;
  char* next_;
  std::size_t room_;
  std::size_t dropped_ = 0;
};

enum Flag : unsigned { left = 1, zero = 2, plus = 4, space = 8, alternate = 16 };

enum class Length { none, hh, h, l, ll, z, j, t };

// One parsed conversion: "%-08.3lld" is flags left|zero, width 8,
// precision 3, length ll, conversion 'd'.
struct Directive {
  unsigned flags = 0;
  int width = 0;
  int precision = -1;  // -1: none given (or a negative '*' precision)
  Length length = Length::none;
  char conversion = 0;
};

bool is_digit(char c) { return c >= '0' && c <= '9'; }

const char* find_percent(const char* text) {
#ifdef __GLIBC__
  return ::strchrnul(text, '%');
#else
  while (*text != '%' && *text != '\0') ++text;
  return text;
#endif
}

// Reads a decimal field; null when it exceeds max_field.
const char* read_number(const char* p, int& value) {
  value = 0;
  for (; is_digit(*p); ++p) {
    value = value * 10 + (*p - '0');
    if (value > max_field) return nullptr;
  }
  return p;
}

unsigned flag_of(char c) {
  switch (c) {
    case '-':
      return left;
    case '0':
      return zero;
    case '+':
      return plus;
    case ' ':
      return space;
    case '#':
      return alternate;
    default:
      return 0;
  }
}

// Width: digits or '*'; a negative '*' width means '-' and its magnitude.
// "%1$d" is positional and declined.
const char* parse_width(const char* p, Arguments& args, Directive& directive) {
  if (*p != '*') {
    p = read_number(p, directive.width);
    return p != nullptr && *p != '$' ? p : nullptr;
  }
  int width = va_arg(args.list, int);
  if (width < -max_field || width > max_field) return nullptr;
  if (width < 0) {
    directive.flags |= left;
    width = -width;
  }
  directive.width = width;
  return p + 1;
}

// Precision after '.': digits (none means 0) or '*' (negative means none).
const char* parse_precision(const char* p, Arguments& args, Directive& directive) {
  if (*p != '*') return read_number(p, directive.precision);
  int precision = va_arg(args.list, int);
  if (precision > max_field) return nullptr;
  directive.precision = precision < 0 ? -1 : precision;
  return p + 1;
}

// hh h l ll z j t, or none; returns the character after it.
const char* parse_length(const char* p, Length& length) {
  switch (*p) {
    case 'h':
      length = p[1] == 'h' ? Length::hh : Length::h;
      return length == Length::hh ? p + 2 : p + 1;
    case 'l':
      length = p[1] == 'l' ? Length::ll : Length::l;
      return length == Length::ll ? p + 2 : p + 1;
    case 'z':
      length = Length::z;
      return p + 1;
    case 'j':
      length = Length::j;
      return p + 1;
    case 't':
      length = Length::t;
      return p + 1;
    default:
      return p;
  }
}

// Parses the conversion after its '%', reading '*' fields from args.
// Returns the character after it, or null to decline.
const char* parse_directive(const char* p, Arguments& args, Directive& directive) {
  for (unsigned flag; (flag = flag_of(*p)) != 0; ++p) directive.flags |= flag;
  p = parse_width(p, args, directive);
  if (p == nullptr) return nullptr;
  if (*p == '.') {
    p = parse_precision(p + 1, args, directive);
    if (p == nullptr) return nullptr;
  }
  p = parse_length(p, directive.length);
  directive.conversion = *p;
  return p + 1;
}

using Signed = std::intmax_t;
using Unsigned = std::uintmax_t;

Signed read_signed(Arguments& args, Length length) {
  switch (length) {
    case Length::hh:
      return static_cast<signed char>(va_arg(args.list, int));
    case Length::h:
      return static_cast<short>(va_arg(args.list, int));
    case Length::l:
      return va_arg(args.list, long);
    case Length::ll:
      return va_arg(args.list, long long);
    case Length::z:
      return va_arg(args.list, std::make_signed_t<std::size_t>);
    case Length::j:
      return va_arg(args.list, std::intmax_t);
    case Length::t:
      return va_arg(args.list, std::ptrdiff_t);
    case Length::none:
      break;
  }
  return va_arg(args.list, int);
}

Unsigned read_unsigned(Arguments& args, Length length) {
  switch (length) {
    case Length::hh:
      return static_cast<unsigned char>(va_arg(args.list, unsigned));
    case Length::h:
      return static_cast<unsigned short>(va_arg(args.list, unsigned));
    case Length::l:
      return va_arg(args.list, unsigned long);
    case Length::ll:
      return va_arg(args.list, unsigned long long);
    case Length::z:
      return va_arg(args.list, std::size_t);
    case Length::j:
      return va_arg(args.list, std::uintmax_t);
    case Length::t:
      return va_arg(args.list, std::make_unsigned_t<std::ptrdiff_t>);
    case Length::none:
      break;
  }
  return va_arg(args.list, unsigned);
}

// Room for the digits of any Unsigned in any base from 8 up, and a sign.
constexpr std::size_t max_digits = sizeof(Unsigned) * 3 + 1;

char* write_power_of_two(Unsigned value, char* end, unsigned bits, const char* digits) {
  const Unsigned mask = (Unsigned{1} << bits) - 1;
  do {
    *--end = digits[value & mask];
    value >>= bits;
  } while (value != 0);
  return end;
}

char* write_digits(Unsigned value, char conversion, char* end) {
  switch (conversion) {
    case 'x':
      return write_power_of_two(value, end, 4, "0123456789abcdef");
    case 'X':
      return write_power_of_two(value, end, 4, "0123456789ABCDEF");
    case 'o':
      return write_power_of_two(value, end, 3, "01234567");
    default:
      return decimal_digits(value, end);
  }
}

// The sign of a signed conversion: '-', or '+' under '+', or ' ' under ' '.
char sign_of(const Directive& directive, bool negative) {
  if (negative) return '-';
  if (directive.flags & plus) return '+';
  return (directive.flags & space) ? ' ' : '\0';
}

// Sign or "0x"/"0X" in front of the digits; returns its length.
std::size_t make_prefix(const Directive& directive, Unsigned magnitude, bool negative,
                        char* prefix) {
  const char conversion = directive.conversion;
  if (conversion == 'd' || conversion == 'i') {
    prefix[0] = sign_of(directive, negative);
    return prefix[0] != '\0' ? 1 : 0;
  }
  if ((conversion == 'x' || conversion == 'X') && (directive.flags & alternate) && magnitude != 0) {
    prefix[0] = '0';
    prefix[1] = conversion;
    return 2;
  }
  return 0;
}

// The pieces of an integer's field, laid out as
// [spaces] prefix [zeros] digits [spaces].
struct NumberField {
  const char* prefix;
  std::size_t prefix_length;
  std::size_t zeros;
  const char* digits;
  std::size_t digit_count;
};

// Pads to the width: on the right under '-'; with zeros after the prefix
// under '0' when no precision is given; else with spaces in front.
void put_field(Sink& sink, const Directive& directive, const NumberField& field) {
  const std::size_t body = field.prefix_length + field.zeros + field.digit_count;
  const std::size_t width = static_cast<std::size_t>(directive.width);
  const std::size_t padding = width > body ? width - body : 0;
  const bool left_aligned = (directive.flags & left) != 0;
  const bool zero_padded = !left_aligned && (directive.flags & zero) && directive.precision < 0;
  if (!left_aligned && !zero_padded) sink.fill(' ', padding);
  sink.put(field.prefix, field.prefix_length);
  sink.fill('0', field.zeros + (zero_padded ? padding : 0));
  sink.put(field.digits, field.digit_count);
  if (left_aligned) sink.fill(' ', padding);
}

// An integer. The precision is the least number of digits (none at all for
// 0 with precision 0); '#' with 'o' makes the first digit a zero.
void put_integer(Sink& sink, const Directive& directive, Unsigned magnitude, bool negative) {
  char digits[max_digits];
  char* end = digits + max_digits;
  if ((directive.flags | static_cast<unsigned>(directive.width)) == 0 && directive.precision < 0) {
    // The usual "%d" or "%x": the sign and the digits, in one piece.
    char* start = write_digits(magnitude, directive.conversion, end);
    if (negative) *--start = '-';
    sink.put(start, static_cast<std::size_t>(end - start));
    return;
  }
  char* start = directive.precision == 0 && magnitude == 0
                    ? end
                    : write_digits(magnitude, directive.conversion, end);
  const std::size_t digit_count = static_cast<std::size_t>(end - start);
  char prefix[2];
  const std::size_t prefix_length = make_prefix(directive, magnitude, negative, prefix);
  const std::size_t precision =
      directive.precision < 0 ? 0 : static_cast<std::size_t>(directive.precision);
  std::size_t zeros = precision > digit_count ? precision - digit_count : 0;
  if (directive.conversion == 'o' && (directive.flags & alternate) && zeros == 0 &&
      (digit_count == 0 || *start != '0'))
    zeros = 1;
  put_field(sink, directive, NumberField{prefix, prefix_length, zeros, start, digit_count});
}

// Text padded with spaces to the width, on the right under '-'.
void put_padded(Sink& sink, const Directive& directive, const char* text, std::size_t count) {
  const std::size_t width = static_cast<std::size_t>(directive.width);
  const std::size_t padding = width > count ? width - count : 0;
  if ((directive.flags & left) == 0) sink.fill(' ', padding);
  sink.put(text, count);
  if (directive.flags & left) sink.fill(' ', padding);
}

bool put_string(Sink& sink, const Directive& directive, Arguments& args) {
  if (directive.length != Length::none || (directive.flags & zero)) return false;
  const char* text = va_arg(args.list, const char*);
  if (text == nullptr) return false;
  const std::size_t count = directive.precision < 0
                                ? std::strlen(text)
                                : ::strnlen(text, static_cast<std::size_t>(directive.precision));
  put_padded(sink, directive, text, count);
  return true;
}

bool put_char(Sink& sink, const Directive& directive, Arguments& args) {
  if (directive.length != Length::none || (directive.flags & zero)) return false;
  const char c = static_cast<char>(static_cast<unsigned char>(va_arg(args.list, int)));
  put_padded(sink, directive, &c, 1);
  return true;
}

bool put_pointer(Sink& sink, const Directive& directive, Arguments& args) {
  if (directive.length != Length::none || (directive.flags & ~unsigned{left}) ||
      directive.precision >= 0)
    return false;
  const void* pointer = va_arg(args.list, const void*);
  if (pointer == nullptr) return false;
  char text[2 + max_digits];
  char* end = text + sizeof text;
  char* start =
      write_power_of_two(reinterpret_cast<std::uintptr_t>(pointer), end, 4, "0123456789abcdef");
  *--start = 'x';
  *--start = '0';
  put_padded(sink, directive, start, static_cast<std::size_t>(end - start));
  return true;
}

// Writes one parsed conversion, consuming its argument; false to decline.
bool put_conversion(Sink& sink, const Directive& directive, Arguments& args) {
  switch (directive.conversion) {
    case 'd':
    case 'i': {
      const Signed value = read_signed(args, directive.length);
      const Unsigned magnitude =
          value < 0 ? Unsigned{0} - static_cast<Unsigned>(value) : static_cast<Unsigned>(value);
      put_integer(sink, directive, magnitude, value < 0);
      return true;
    }
    case 'u':
    case 'x':
    case 'X':
    case 'o':
      put_integer(sink, directive, read_unsigned(args, directive.length), false);
      return true;
    case 's':
      return put_string(sink, directive, args);
    case 'c':
      return put_char(sink, directive, args);
    case 'p':
      return put_pointer(sink, directive, args);
    default:
      return false;
  }
}

bool format_all(Sink& sink, const char* format, Arguments& args) {
  const char* p = format;
  for (;;) {
    const char* percent = find_percent(p);
    if (percent != p) sink.put(p, static_cast<std::size_t>(percent - p));
    if (*percent == '\0') return true;
    if (percent[1] == '%') {
      sink.put('%');
      p = percent + 2;
      continue;
    }
    Directive directive;
    p = parse_directive(percent + 1, args, directive);
    if (p == nullptr || !put_conversion(sink, directive, args)) return false;
  }
}

}  // namespace

bool format_fast(char* buffer, std::size_t capacity, const char* format, va_list args,
                 std::size_t& length) {
  Arguments copy;
  va_copy(copy.list, args);
  Sink sink(buffer, capacity);
  const bool handled = format_all(sink, format, copy);
  va_end(copy.list);
  length = sink.length();
  return handled && length <= static_cast<std::size_t>(INT_MAX);
}

}  // namespace Portable
}  // namespace ZelTools
