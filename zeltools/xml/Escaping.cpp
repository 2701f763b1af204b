// The data side of the XML writer: the escaping of attribute values and
// text, as functions and as stream buffers, and the escaping writer.
#include "zeltools/xml/Escaping.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "zeltools/xml/Markup.h"

namespace ZelTools {
namespace Xml {

EscapingOstreambuf::int_type EscapingOstreambuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  escape(traits_type::to_char_type(c));
  return c;
}

void EscapingOstreambuf::escape_run(char const* s, std::streamsize n) {
  for (std::streamsize i = 0; i < n; ++i) escape(s[i]);
}

std::streamsize EscapingOstreambuf::xsputn(char const* s, std::streamsize n) {
  if (n > 0) escape_run(s, n);
  return n;
}

namespace {

// The bytes written as references: `in_text` ones everywhere, `in_value`
// ones in attribute values (the double quote besides those of text).
constexpr unsigned char in_text = 1;
constexpr unsigned char in_value = 2;

struct ReferenceTable {
  unsigned char marks[256] = {};
  constexpr ReferenceTable() {
    for (int byte = 0; byte < 0x20; ++byte) marks[byte] = in_text | in_value;
    marks[0x7F] = in_text | in_value;
    for (unsigned char const byte : {'&', '<', '>'}) marks[byte] = in_text | in_value;
    marks[static_cast<unsigned char>('"')] = in_value;
  }
};

constexpr ReferenceTable references;

// The entity reference of a marked byte, or null for a control character,
// whose reference is its decimal code.
char const* entity(char c, std::size_t& length) {
  switch (c) {
    case '&':
      length = 5;
      return "&amp;";
    case '<':
      length = 4;
      return "&lt;";
    case '>':
      length = 4;
      return "&gt;";
    case '"':
      length = 6;
      return "&quot;";
    default:
      length = 0;
      return nullptr;
  }
}

// Rare: the code goes through the target's own integer insertion.
void write_code(std::ostream& out, char c) {
  out << "&#" << static_cast<int>(static_cast<unsigned char>(c)) << ';';
}

// Tests on eight bytes at once, each exact about whether such a byte exists
// (not about where it is).
constexpr std::uint64_t ones = 0x0101010101010101ULL;
constexpr std::uint64_t highs = 0x8080808080808080ULL;

// Some byte of `word` is below `bound` (at most 0x80).
bool has_byte_below(std::uint64_t word, unsigned bound) {
  return ((word - ones * bound) & ~word & highs) != 0;
}

// Some byte of `word` equals `byte`.
bool has_byte(std::uint64_t word, unsigned char byte) {
  return has_byte_below(word ^ (ones * byte), 1);
}

// Some byte of `word` may be marked: a control byte, '&', '<', '>' or '"'.
// Setting one bit pairs '"' with '&' (0x22, 0x26 | 0x04 = 0x26) and '<' with
// '>' (0x3C, 0x3E | 0x02 = 0x3E), so the quote is looked for in text too: a
// word found this way is only looked into byte by byte.
inline bool may_have_marked_byte(char const* eight) {
  std::uint64_t word;
  std::memcpy(&word, eight, sizeof word);
  return has_byte_below(word, 0x20) || has_byte(word, 0x7F) || has_byte(word | ones * 0x04, 0x26) ||
         has_byte(word | ones * 0x02, 0x3E);
}

// Splits text[0, length) into runs that pass unchanged, given to
// `sink.run(text, length)`, and marked bytes, given to `sink.reference(c)`.
// Eight bytes at a time, most text is passed over without a look at each
// byte: a word is looked into only when may_have_marked_byte finds it.
template <class Sink>
void escape_runs(Sink& sink, char const* text, std::size_t length, bool quote) {
  unsigned char const mark = quote ? in_value : in_text;
  char const* const end = text + length;
  char const* run = text;  // start of the characters not yet written
  char const* at = text;
  while (at != end) {
    auto const left = static_cast<std::size_t>(end - at);
    if (left >= 8 && !may_have_marked_byte(at)) {
      at += 8;
      continue;
    }
    for (char const* const stop = at + std::min<std::size_t>(left, 8); at != stop; ++at) {
      if ((references.marks[static_cast<unsigned char>(*at)] & mark) == 0) continue;
      if (at != run) sink.run(run, static_cast<std::size_t>(at - run));
      sink.reference(*at);
      run = at + 1;
    }
  }
  if (end != run) sink.run(run, static_cast<std::size_t>(end - run));
}

}  // namespace

void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote) {
  struct {
    std::ostream& out;
    void run(char const* s, std::size_t n) { put_text(out, s, n); }
    void reference(char c) {
      std::size_t n = 0;
      if (char const* const name = entity(c, n)) {
        put_text(out, name, n);
      } else {
        write_code(out, c);
      }
    }
  } sink{out};
  escape_runs(sink, text, length, quote);
}

void Ostream::emit_escaped(char const* text, std::size_t length, bool quote) {
  struct {
    Ostream& writer;
    void run(char const* s, std::size_t n) { writer.emit(s, n); }
    void reference(char c) {
      std::size_t n = 0;
      if (char const* const name = entity(c, n)) {
        writer.emit(name, n);
      } else {
        writer.flush_pending();
        write_code(writer.out, c);
      }
    }
  } sink{*this};
  escape_runs(sink, text, length, quote);
}

int RawXmlOstream::XmlBuf::sync() {
  target.flush();
  return 0;
}

void RawXmlOstream::AttributeBuf::escape(char c) { write_escaped(target, &c, 1, true); }

void RawXmlOstream::AttributeBuf::escape_run(char const* s, std::streamsize n) {
  write_escaped(target, s, static_cast<std::size_t>(n), true);
}

void RawXmlOstream::TextBuf::escape(char c) { write_escaped(target, &c, 1, false); }

void RawXmlOstream::TextBuf::escape_run(char const* s, std::streamsize n) {
  write_escaped(target, s, static_cast<std::size_t>(n), false);
}

void RawXmlOstream::put_data(char const* text, std::size_t length) {
  switch (data_kind()) {
    case DataKind::Attribute:
      emit_escaped(text, length, true);
      break;
    case DataKind::Text:
      emit_escaped(text, length, false);
      break;
    default:
      Ostream::put_data(text, length);
  }
}

std::ostream* RawXmlOstream::attribute_stream() {
  return make_data_stream<EscapingOstream<AttributeBuf>>(out);
}

std::ostream* RawXmlOstream::text_stream() {
  return make_data_stream<EscapingOstream<TextBuf>>(out);
}

}  // namespace Xml
}  // namespace ZelTools
