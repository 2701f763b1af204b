// Section: one open comment or CDATA section.
#ifndef VANTREL_ZELTOOLS_XML_SECTION_H
#define VANTREL_ZELTOOLS_XML_SECTION_H

#include "zeltools/xml/Ostream.h"

namespace ZelTools {
namespace Xml {

// ---------------------------------------------------------------------------
// One open comment (cdata false) or CDATA section, from construction to
// destruction, inside the current element. Created and destroyed by the
// writer's user while no other section is open. Its content is written raw:
// "--" or "]]>" inside it is not checked.
class Section {
 public:
  // Throws Error when no element is open or a section is already open.
  Section(Ostream& stream, bool cdata);
  // Closes the section; never throws.
  ~Section();
  Section(Section const&) = delete;
  Section& operator=(Section const&) = delete;

  Indent const& section_indent() const { return indent; }

 private:
  Ostream& stream;
  bool cdata;
  Indent indent;
};

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_SECTION_H
