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
bool is_control(char c) {
  unsigned char const byte = static_cast<unsigned char>(c);
  return byte < 0x20 || byte == 0x7F;
}

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

Indent Indent::deeper() const {
  Indent result = *this;
  ++result.level;
  return result;
}

EscapingOstreambuf::int_type EscapingOstreambuf::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  escape(traits_type::to_char_type(c));
  return c;
}

std::streamsize EscapingOstreambuf::xsputn(char const* s, std::streamsize n) {
  for (std::streamsize i = 0; i < n; ++i) escape(s[i]);
  return n;
}

int RawXmlOstream::XmlBuf::sync() {
  target.flush();
  return 0;
}

void RawXmlOstream::XmlBuf::escape_markup(char c) {
  switch (c) {
    case '&':
      target << "&amp;";
      break;
    case '<':
      target << "&lt;";
      break;
    case '>':
      target << "&gt;";
      break;
    default:
      if (is_control(c))
        target << "&#" << static_cast<int>(static_cast<unsigned char>(c)) << ';';
      else
        put_char(target, c);
  }
}

void RawXmlOstream::AttributeBuf::escape(char c) {
  if (c == '"')
    target << "&quot;";
  else
    escape_markup(c);
}

void RawXmlOstream::TextBuf::escape(char c) { escape_markup(c); }

std::ostream* RawXmlOstream::attribute_stream() {
  return make_data_stream<EscapingOstream<AttributeBuf>>(out);
}

std::ostream* RawXmlOstream::text_stream() {
  return make_data_stream<EscapingOstream<TextBuf>>(out);
}

}  // namespace Xml
}  // namespace ZelTools
