// The XML writer's exceptions, thrown by value (print writes the texts
// shown), and the check of element and attribute names.
#ifndef VANTREL_ZELTOOLS_XML_ERRORS_H
#define VANTREL_ZELTOOLS_XML_ERRORS_H

#include <ostream>
#include <string>
#include <utility>

#include <ZelTools/Portable.h>

namespace ZelTools {
namespace Xml {

// Exceptions. Thrown by value; print writes the texts shown.

// print: "ZelTools::Xml::Exception"
struct Exception : ZelTools::Exception {
  std::ostream& print(std::ostream& os) const override;
};

// print: "ZelTools::Xml::Error: " + message. The message is a static text and
// is not copied.
struct Error : Exception {
  explicit Error(char const* message) : message(message) {}
  std::ostream& print(std::ostream& os) const override;
  char const* message;
};

// print: "ZelTools::Xml::InvalidIdentifier: '" + name + "'"
struct InvalidIdentifier : Exception {
  explicit InvalidIdentifier(std::string name) : name(std::move(name)) {}
  std::ostream& print(std::ostream& os) const override;
  std::string name;
};

// print: "ZelTools::Xml::MultiplyDefined: '" + name + "'"
struct MultiplyDefined : Exception {
  explicit MultiplyDefined(std::string name) : name(std::move(name)) {}
  std::ostream& print(std::ostream& os) const override;
  std::string name;
};

// True when `name` may be used as an element or attribute name: non-empty,
// starting with an ASCII letter or '_', then ASCII letters, digits, '_', '-'
// or '.'. Bytes 0x80..0xFF and ':' are refused; the test ignores the locale.
bool is_identifier(std::string const& name);

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_ERRORS_H
