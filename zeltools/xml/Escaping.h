// How the XML writer's characters reach their stream: raw pieces without a
// sentry, the decimal digits of integers, and escaping of attribute values
// and text, as functions and as escaping stream buffers.
#ifndef VANTREL_ZELTOOLS_XML_ESCAPING_H
#define VANTREL_ZELTOOLS_XML_ESCAPING_H

#include <cstddef>
#include <ostream>
#include <streambuf>

#include "zeltools/portable/ShortText.h"

namespace ZelTools {
namespace Xml {

// out.put(c) without its sentry: markup and escaped data go out a character
// at a time, and a sentry per character was most of their cost. The same
// results for the writer's streams (which have no tied stream): nothing is
// written and badbit is set on a failed stream, badbit is set when the
// buffer refuses the character.
inline void put_char(std::ostream& out, char c) {
  using traits = std::ostream::traits_type;
  if (out.good() && !traits::eq_int_type(out.rdbuf()->sputc(c), traits::eof())) return;
  out.setstate(std::ios_base::badbit);
}

// put_char for a run of characters, with the same results. Markup and
// values come in short pieces: those go a character at a time through the
// buffer's inline sputc, longer runs in one sputn.
inline void put_text(std::ostream& out, char const* text, std::size_t length) {
  using traits = std::ostream::traits_type;
  constexpr std::size_t short_run = 16;
  if (!out.good()) {
    out.setstate(std::ios_base::badbit);
    return;
  }
  std::streambuf& buffer = *out.rdbuf();
  if (length > short_run) {
    auto const count = static_cast<std::streamsize>(length);
    if (buffer.sputn(text, count) != count) out.setstate(std::ios_base::badbit);
    return;
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (traits::eq_int_type(buffer.sputc(text[i]), traits::eof())) {
      out.setstate(std::ios_base::badbit);
      return;
    }
  }
}

// The decimal digits of an integer, as a std::ostream with default
// formatting in the classic locale prints it:
//   0 => "0", 4096 => "4096", -42 => "-42",
//   18446744073709551615ULL => "18446744073709551615".
class DecimalText {
 public:
  explicit DecimalText(unsigned long long value) { fill(value); }
  explicit DecimalText(long long value) {
    // Negating through unsigned keeps the most negative value exact.
    unsigned long long const magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    fill(magnitude);
    if (value < 0) digits[--first] = '-';
  }

  char const* data() const { return digits + first; }
  std::size_t size() const { return sizeof digits - first; }

 private:
  void fill(unsigned long long value) {
    first = static_cast<std::size_t>(
        ZelTools::Portable::decimal_digits(value, digits + sizeof digits) - digits);
  }

  // 20 digits hold the largest unsigned value, or a sign and 19 digits.
  char digits[20];
  std::size_t first = sizeof digits;  // index of the first character
};

// The bytes of a UTF-8 sequence begun but not yet complete, carried from one
// piece of a data item to the next: a character may be inserted in pieces.
struct Utf8Tail {
  unsigned char bytes[4] = {};
  unsigned char have = 0;   // bytes held
  unsigned char total = 0;  // length of the sequence the lead byte announced
};

// Writes text[0, length) into `out` escaped as an attribute value (`quote`
// true) or as text content (`quote` false); see RawXmlOstream for the table.
// Runs of characters that need no escaping go out in one piece. With `tail`,
// a UTF-8 sequence cut at the end stays in it for the next piece (see
// finish_utf8); without, the text is whole and a cut sequence is ill-formed.
void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote);
void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote,
                   Utf8Tail& tail);
// Ends a data item: a sequence still held in `tail` is ill-formed and gives
// "&#65533;" (written with `write(text, length)`).
template <class Write>
void finish_utf8(Utf8Tail& tail, Write write) {
  if (tail.have == 0) return;
  tail.have = 0;
  write("&#65533;", 8);
}

class EscapingOstreambuf : public std::streambuf {
 protected:
  virtual void escape(char c) = 0;
  // Escapes s[0, n); by default one escape() per character.
  virtual void escape_run(char const* s, std::streamsize n);
  int_type overflow(int_type c) override;
  std::streamsize xsputn(char const* s, std::streamsize n) override;
};

// A std::ostream that is its own (escaping) stream buffer B.
template <class B>
class EscapingOstream : public B, public std::ostream {
 public:
  EscapingOstream(std::ostream& target, Utf8Tail& tail)
      : B(target, tail), std::ostream(static_cast<B*>(this)) {}
};

// A std::ostream writing straight into the target's stream buffer, with its
// own default formatting state.
class NoEscapingOstream : public std::ostream {
 public:
  explicit NoEscapingOstream(std::ostream& target) : std::ostream(target.rdbuf()) {}
};

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_ESCAPING_H
