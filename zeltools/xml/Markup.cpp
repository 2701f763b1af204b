// XmlOstream: the markup of elements, attributes, text and sections.
#include "zeltools/xml/Markup.h"

#include "zeltools/xml/Tag.h"

namespace ZelTools {
namespace Xml {

// ---------------------------------------------------------------------------
// XmlOstream

XmlOstream::XmlOstream(std::ostream& out, Indent const& indent) : RawXmlOstream(out, indent) {
  write_indent(this->indent);
  emit_literal("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  write_newline();
  flush_pending();
}

void XmlOstream::open_start_tag() {
  write_context_indent(0);
  emit('<');
  std::string const& name = top_tag()->tag_name();
  emit(name.data(), name.size());
}

void XmlOstream::close_tag() {
  Tag const* const tag = top_tag();
  if (!tag) return;
  if (tag->subs_done() == 0 && tag->texts_done() == 0) {
    emit_literal("/>");
  } else {
    write_context_indent(0);
    emit_literal("</");
    emit(tag->tag_name().data(), tag->tag_name().size());
    emit('>');
  }
  write_newline();
}

void XmlOstream::open_attribute(char const* const& name) {
  write_newline();
  write_context_indent(1);
  if (indent.step == 0 && !indent.newline) emit(' ');
  emit_c_string(name);
  emit_literal("=\"");
}

void XmlOstream::close_attribute() { emit('"'); }

void XmlOstream::end_start_tag() {
  Tag const* const tag = top_tag();
  if (tag && tag->subs_done() == 0 && tag->texts_done() == 0) {
    emit('>');
    write_newline();
  }
}

void XmlOstream::open_sub() { end_start_tag(); }

void XmlOstream::open_text() {
  end_start_tag();
  write_context_indent(1);
}

void XmlOstream::close_text() { write_newline(); }

void XmlOstream::open_cdata() {
  write_context_indent(0);
  emit_literal("<![CDATA[");
}

void XmlOstream::close_cdata() {
  emit_literal("]]>");
  write_newline();
}

void XmlOstream::open_comment() {
  write_context_indent(0);
  emit_literal("<!--");
}

void XmlOstream::close_comment() {
  emit_literal("-->");
  write_newline();
}

}  // namespace Xml
}  // namespace ZelTools
