// ZelTools::Xml: a streaming XML writer.
//
// A document is written in one pass, strictly in order, onto a std::ostream
// that the writer does not own. Constructing an XmlOstream writes the
// declaration; a Tag is one element for the life of the object (constructed
// opens it, destroyed closes it, so nesting follows the caller's scopes); a
// Section is a comment or CDATA section for its life. Attribute values, text
// and section contents are written by insertion into the writer, which
// escapes them according to where they stand:
//
//   XmlOstream xml(out, Indent(Indent::Lines));
//   {
//     Tag r(xml, "R");
//     xml.current_tag().attribute("a");  xml << 1;
//     { Tag c(xml, "C"); }
//     xml.text();  xml << "hi";
//   }
//
// writes, one item a line with the Lines layout:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <R
//   a="1">
//   <C/>
//   hi
//   </R>
//
// Pretty indents the attribute, child and text lines by two spaces per level
// (never more than 40 columns); Flat writes
//   <?xml version="1.0" encoding="UTF-8"?><R a="1"><C/>hi</R>
//
// Each open element carries a small state machine (Start, InAttribute,
// InText, InSub) that decides which markup must come before the next item and
// rejects out-of-order use with Error before writing anything.
//
// Lifetime and locking: the owner creates the writer, then its tags and
// sections, and destroys them in the reverse order; the writer's destruction
// writes nothing. A writer and its tags hold no lock: one thread at a time
// uses them (the XML log file does so under its destination's message lock).
#ifndef VANTREL_ZELTOOLS_XML_XML_H
#define VANTREL_ZELTOOLS_XML_XML_H

#include "zeltools/xml/Errors.h"
#include "zeltools/xml/Escaping.h"
#include "zeltools/xml/Markup.h"
#include "zeltools/xml/Ostream.h"
#include "zeltools/xml/Section.h"
#include "zeltools/xml/Tag.h"

#endif  // VANTREL_ZELTOOLS_XML_XML_H
