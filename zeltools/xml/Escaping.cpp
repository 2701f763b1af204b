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

// Rare: the code goes through the target's own integer insertion. Tab, line
// feed, carriage return and 0x7F keep their own code; the other control
// characters, which XML 1.0 cannot carry even as references, are written as
// their Unicode control picture (U+2400 + code).
void write_code(std::ostream& out, char c) {
  unsigned code = static_cast<unsigned char>(c);
  if (code != '\t' && code != '\n' && code != '\r' && code != 0x7F) code += 0x2400;
  out << "&#" << code << ';';
}

// What stands for ill-formed UTF-8 (U+FFFD, the replacement character).
constexpr char replacement[] = "&#65533;";
constexpr std::size_t replacement_length = sizeof replacement - 1;

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

// Some byte of `word` may need a look: a control byte, '&', '<', '>', '"' or
// a byte of a UTF-8 sequence (0x80 and above). Setting one bit pairs '"'
// with '&' (0x22, 0x26 | 0x04 = 0x26) and '<' with '>' (0x3C, 0x3E | 0x02 =
// 0x3E), so the quote is looked for in text too: a word found this way is
// only looked into byte by byte.
inline bool may_need_a_look(char const* eight) {
  std::uint64_t word;
  std::memcpy(&word, eight, sizeof word);
  return (word & highs) != 0 || has_byte_below(word, 0x20) || has_byte(word, 0x7F) ||
         has_byte(word | ones * 0x04, 0x26) || has_byte(word | ones * 0x02, 0x3E);
}

// The length of the UTF-8 sequence a byte leads, and the range its second
// byte must fall in (which excludes overlong forms, surrogates and code
// points above U+10FFFF); length 0 for a byte that cannot lead one.
struct LeadRule {
  unsigned char length;
  unsigned char low;
  unsigned char high;
};

LeadRule lead_rule(unsigned char lead) {
  if (lead < 0xC2) return {0, 0, 0};
  if (lead < 0xE0) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead < 0xF0) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead < 0xF4) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

bool continues(Utf8Tail const& tail, unsigned char byte) {
  if (tail.have == 1) {
    LeadRule const rule = lead_rule(tail.bytes[0]);
    return byte >= rule.low && byte <= rule.high;
  }
  return byte >= 0x80 && byte <= 0xBF;
}

// U+FFFE and U+FFFF: well-formed UTF-8, but not characters of XML.
bool is_noncharacter(Utf8Tail const& tail) {
  return tail.total == 3 && tail.bytes[0] == 0xEF && tail.bytes[1] == 0xBF && tail.bytes[2] >= 0xBE;
}

// Takes one byte of (or after) a UTF-8 sequence: a complete sequence goes
// out as it is, an ill-formed one as one replacement. False when the byte
// was not taken: it broke off the sequence held, and starts afresh.
template <class Sink>
bool step_utf8(Sink& sink, Utf8Tail& tail, unsigned char byte) {
  if (tail.have == 0) {
    LeadRule const rule = lead_rule(byte);
    if (rule.length == 0) {
      sink.run(replacement, replacement_length);
    } else {
      tail.bytes[0] = byte;
      tail.have = 1;
      tail.total = rule.length;
    }
    return true;
  }
  if (!continues(tail, byte)) {
    tail.have = 0;
    sink.run(replacement, replacement_length);
    return false;
  }
  tail.bytes[tail.have++] = byte;
  if (tail.have == tail.total) {
    tail.have = 0;
    if (is_noncharacter(tail)) {
      sink.run(replacement, replacement_length);
    } else {
      sink.run(reinterpret_cast<char const*>(tail.bytes), tail.total);
    }
  }
  return true;
}

// Splits text[0, length) into runs that pass unchanged, given to
// `sink.run(text, length)`, and marked bytes, given to `sink.reference(c)`.
// Eight bytes at a time, most text is passed over without a look at each
// byte: a word is looked into only when may_need_a_look finds it. Bytes of
// UTF-8 sequences go through step_utf8, one sequence at a time; one left
// unfinished at the end stays in `tail`.
template <class Sink>
void escape_runs(Sink& sink, char const* text, std::size_t length, bool quote, Utf8Tail& tail) {
  unsigned char const mark = quote ? in_value : in_text;
  char const* const end = text + length;
  char const* run = text;  // start of the characters not yet written
  char const* at = text;
  while (at != end) {
    auto const left = static_cast<std::size_t>(end - at);
    if (left >= 8 && tail.have == 0 && !may_need_a_look(at)) {
      at += 8;
      continue;
    }
    for (char const* const stop = at + std::min<std::size_t>(left, 8); at != stop;) {
      auto const byte = static_cast<unsigned char>(*at);
      if (byte < 0x80 && tail.have == 0) {
        if ((references.marks[byte] & mark) != 0) {
          if (at != run) sink.run(run, static_cast<std::size_t>(at - run));
          sink.reference(*at);
          run = at + 1;
        }
        ++at;
        continue;
      }
      if (at != run) sink.run(run, static_cast<std::size_t>(at - run));
      if (step_utf8(sink, tail, byte)) ++at;
      run = at;
    }
  }
  if (end != run) sink.run(run, static_cast<std::size_t>(end - run));
}

}  // namespace

void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote,
                   Utf8Tail& tail) {
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
  escape_runs(sink, text, length, quote, tail);
}

void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote) {
  Utf8Tail tail;
  write_escaped(out, text, length, quote, tail);
  finish_utf8(tail, [&out](char const* s, std::size_t n) { put_text(out, s, n); });
}

void Ostream::emit_escaped(char const* text, std::size_t length, bool quote, Utf8Tail& tail) {
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
  escape_runs(sink, text, length, quote, tail);
}

int RawXmlOstream::XmlBuf::sync() {
  target.flush();
  return 0;
}

void RawXmlOstream::AttributeBuf::escape(char c) { write_escaped(target, &c, 1, true, tail); }

void RawXmlOstream::AttributeBuf::escape_run(char const* s, std::streamsize n) {
  write_escaped(target, s, static_cast<std::size_t>(n), true, tail);
}

void RawXmlOstream::TextBuf::escape(char c) { write_escaped(target, &c, 1, false, tail); }

void RawXmlOstream::TextBuf::escape_run(char const* s, std::streamsize n) {
  write_escaped(target, s, static_cast<std::size_t>(n), false, tail);
}

void RawXmlOstream::put_data(char const* text, std::size_t length) {
  switch (data_kind()) {
    case DataKind::Attribute:
      emit_escaped(text, length, true, utf8_tail);
      break;
    case DataKind::Text:
      emit_escaped(text, length, false, utf8_tail);
      break;
    default:
      Ostream::put_data(text, length);
  }
}

// The bytes of a data stream went straight to `out`, and `pending` was
// empty when the stream was handed out: emitting here keeps the order.
void RawXmlOstream::finish_data() {
  finish_utf8(utf8_tail, [this](char const* s, std::size_t n) { emit(s, n); });
}

std::ostream* RawXmlOstream::attribute_stream() {
  return make_data_stream<EscapingOstream<AttributeBuf>>(out, utf8_tail);
}

std::ostream* RawXmlOstream::text_stream() {
  return make_data_stream<EscapingOstream<TextBuf>>(out, utf8_tail);
}

}  // namespace Xml
}  // namespace ZelTools
