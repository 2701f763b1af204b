// The XML writer's exceptions and the check of names.
#include "zeltools/xml/Errors.h"

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

}  // namespace Xml
}  // namespace ZelTools
