// The writers that add to Ostream: RawXmlOstream escapes attribute values
// and text (Escaping.cpp), XmlOstream also writes the markup (Markup.cpp).
#ifndef VANTREL_ZELTOOLS_XML_MARKUP_H
#define VANTREL_ZELTOOLS_XML_MARKUP_H

#include <cstddef>
#include <ostream>
#include <streambuf>

#include "zeltools/xml/Escaping.h"
#include "zeltools/xml/Ostream.h"

namespace ZelTools {
namespace Xml {

// The escaping layer: attribute values and text are escaped; sections stay
// raw.
//
//   byte                  attribute value   text
//   "                     &quot;            "
//   &  <  >               &amp; &lt; &gt;   &amp; &lt; &gt;
//   tab, LF, CR, 0x7F     &#<decimal>;      &#<decimal>;
//   other 0x00..0x1F      &#<9216+code>;    the same (its Unicode control picture)
//   well-formed UTF-8     unchanged         unchanged
//   ill-formed UTF-8      &#65533;          &#65533;  (one per maximal ill-formed
//                                                      subsequence)
//   U+FFFE, U+FFFF        &#65533;          &#65533;  (not characters of XML)
//   other (')             unchanged         unchanged
// So the document is well-formed XML 1.0 whatever bytes the data holds.
class RawXmlOstream : public Ostream {
 public:
  class XmlBuf : public EscapingOstreambuf {
   public:
    XmlBuf(std::ostream& target, Utf8Tail& tail) : target(target), tail(tail) {}

   protected:
    int sync() override;
    std::ostream& target;
    Utf8Tail& tail;  // the writer's: shared by its data streams and put_data
  };
  class AttributeBuf : public XmlBuf {
   public:
    using XmlBuf::XmlBuf;

   protected:
    void escape(char c) override;
    void escape_run(char const* s, std::streamsize n) override;
  };
  class TextBuf : public XmlBuf {
   public:
    using XmlBuf::XmlBuf;

   protected:
    void escape(char c) override;
    void escape_run(char const* s, std::streamsize n) override;
  };

 protected:
  using Ostream::Ostream;
  std::ostream* attribute_stream() override;
  std::ostream* text_stream() override;
  // Attribute values and text escaped, sections raw.
  void put_data(char const* text, std::size_t length) override;
  void finish_data() override;

 private:
  // The open item's unfinished UTF-8 sequence, whichever way its pieces came.
  Utf8Tail utf8_tail;
};

// The concrete writer: escaping plus markup in the layout of its Indent.
class XmlOstream : public RawXmlOstream {
 public:
  // Writes the declaration <?xml version="1.0" encoding="UTF-8"?>, followed
  // by a line break when the layout has them.
  XmlOstream(std::ostream& out, Indent const& indent);

 protected:
  void open_start_tag() override;
  void close_tag() override;
  void open_attribute(char const* const& name) override;
  void close_attribute() override;
  void open_text() override;
  void close_text() override;
  void open_sub() override;
  void open_cdata() override;
  void close_cdata() override;
  void open_comment() override;
  void close_comment() override;

 private:
  // ">" and a line break when the current element's start tag is still open.
  void end_start_tag();
};

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_MARKUP_H
