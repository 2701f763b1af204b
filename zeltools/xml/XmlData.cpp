// The data side of the XML writer: exceptions, identifier check, layouts and
// the escaping stream buffers.
#include "zeltools/xml/Xml.h"

namespace ZelTools {
namespace Xml {

std::ostream& Exception::print(std::ostream& os) const { return os << "ZelTools::Xml::Exception"; }

std::ostream& Error::print(std::ostream& os) const {
  return os << "ZelTools::Xml::Error: " << (message ? message : "");
}

std::ostream& InvalidIdentifier::print(std::ostream& os) const {
  return os << "ZelTools::Xml::InvalidIdentifier: '" << name << "'";
}

std::ostream& MultiplyDefined::print(std::ostream& os) const {
  return os << "ZelTools::Xml::MultiplyDefined: '" << name << "'";
}

namespace {

// Locale-free ASCII classes: bytes 0x80..0xFF are neither letters nor digits.
bool is_ascii_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_ascii_digit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool is_identifier(std::string const& name) {
  if (name.empty() || !(is_ascii_letter(name[0]) || name[0] == '_')) return false;
  for (char const c : name) {
    if (!(is_ascii_letter(c) || is_ascii_digit(c) || c == '_' || c == '-' || c == '.')) {
      return false;
    }
  }
  return true;
}

Indent::Indent(int style) {
  if (style == Lines || style == Pretty) newline = true;
  if (style == Pretty) step = 2;
}

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

// Writes the reference of one byte for which needs_reference holds.
void write_reference(std::ostream& out, char c) {
  switch (c) {
    case '&':
      put_text(out, "&amp;", 5);
      break;
    case '<':
      put_text(out, "&lt;", 4);
      break;
    case '>':
      put_text(out, "&gt;", 4);
      break;
    case '"':
      put_text(out, "&quot;", 6);
      break;
    default:
      // Rare: the code goes through the target's own integer insertion.
      out << "&#" << static_cast<int>(static_cast<unsigned char>(c)) << ';';
  }
}

}  // namespace

void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote) {
  unsigned char const mark = quote ? in_value : in_text;
  char const* const end = text + length;
  char const* run = text;  // start of the characters not yet written
  for (char const* at = text; at != end; ++at) {
    if ((references.marks[static_cast<unsigned char>(*at)] & mark) == 0) continue;
    if (at != run) put_text(out, run, static_cast<std::size_t>(at - run));
    write_reference(out, *at);
    run = at + 1;
  }
  if (end != run) put_text(out, run, static_cast<std::size_t>(end - run));
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
      write_escaped(out, text, length, true);
      break;
    case DataKind::Text:
      write_escaped(out, text, length, false);
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
