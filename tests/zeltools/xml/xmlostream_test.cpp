// The XML writer: layouts, escaping, the element state machine and its
// errors, identifier checks, and documents read back with a real parser.
#include "zeltools/xml/Xml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <climits>
#include <functional>
#include <iomanip>
#include <locale>
#include <memory>
#include <sstream>

#include "zeltools/cases_support.h"

namespace {

using namespace ZelTools::Xml;
using Body = std::function<void(XmlOstream&)>;

std::string render(int style, Body const& body) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(style));
  body(xml);
  return out.str();
}

std::string error_of(std::function<void()> const& run) {
  std::ostringstream os;
  try {
    run();
  } catch (ZelTools::Exception const& e) {
    e.print(os);
  }
  return os.str();
}

std::string const declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

void example(XmlOstream& xml) {
  Tag r(xml, "R");
  r.attribute("a");
  xml << "<\"\n";
  Tag(xml, "C").attribute("b");  // closed at once: an empty child
  xml.text();
  xml << "\"&";
  xml.text();
  xml << 2;
  { Section comment(xml, false); }
  Section cdata(xml, true);
  xml << "<&\"-- ]]>";  // section content is raw
}

TEST(XmlOstreamTest, ExampleInEachLayout) {
  for (auto const& c : cases::read("zeltools/xml/cases/layouts.txt")) {
    EXPECT_EQ(render(std::stoi(c[0]), example), declaration + c[1]) << c[0];
  }
}

// Section content that fits the buffer, fits only once it is flushed, or not.
TEST(XmlOstreamTest, SectionContentOfAnyLengthIsWrittenWhole) {
  std::string const value(250, 'v');
  for (std::size_t const length : {100, 400, 600}) {
    std::string const raw(length, 'r');
    EXPECT_EQ(render(Indent::Flat,
                     [&](XmlOstream& xml) {
                       Tag r(xml, "R");
                       r.attribute("a");
                       xml << value;
                       Section cdata(xml, true);
                       xml << raw;
                     }),
              declaration + "<R a=\"" + value + "\"><![CDATA[" + raw + "]]></R>")
        << length;
  }
}

// Each misuse throws Error with its text and writes nothing (the document
// shows it); a tag destroyed before a tag it contains leaves no open element
// behind.
TEST(XmlOstreamTest, MisuseFailsWithoutWriting) {
  struct Probe : XmlOstream {
    using XmlOstream::top_tag;
    using XmlOstream::XmlOstream;
  };
  std::string const no_tag =
      "Ostream state must be in Tag and tags stack non-empty to use current tag";
  std::string const not_start = "Tag must be in Start or in Attribute to insert Attribute";
  std::string const no_data = "Must be in Attribute, Text, Comment or CData to insert data";
  std::string const no_section =
      "Ostream tags stack should not be empty to open a Comment or CData section";
  std::ostringstream out;
  Probe xml(out, Indent(Indent::Flat));
  auto expect_error = [&](std::function<void()> const& misuse, std::string const& message) {
    EXPECT_EQ(error_of(misuse), "ZelTools::Xml::Error: " + message);
  };
  expect_error([&] { xml << 1; }, no_data);
  expect_error([&] { xml.data(); }, no_data);
  expect_error([&] { Section s(xml, false); }, no_section);
  {
    Tag r(xml, "R");
    expect_error([&] { xml << "x"; }, no_data);
    xml.text();
    expect_error([&] { r.attribute("a"); }, not_start);
    { Tag c(xml, "C"); }
    expect_error([&] { r.attribute("a"); }, not_start);
    {
      Section comment(xml, false);
      expect_error([&] { Section inner(xml, true); }, no_tag);
      expect_error([&] { Tag inner(xml, "D"); }, no_tag);
      expect_error([&] { xml.text(); }, no_tag);
      xml << "ok";
    }
    expect_error([&] { xml << "x"; }, no_data);
  }
  expect_error([&] { Tag again(xml, "R"); }, "multi root tree");
  expect_error([&] { xml.text(); }, no_tag);
  EXPECT_EQ(out.str(), declaration + "<R><C/><!--ok--></R>");
  std::ostringstream other;
  Probe fresh(other, Indent(Indent::Flat));
  auto root = std::make_unique<Tag>(fresh, "R"), inner = std::make_unique<Tag>(fresh, "C");
  root.reset();
  EXPECT_EQ(fresh.top_tag(), inner.get());
  inner.reset();
  EXPECT_EQ(fresh.top_tag(), nullptr);
}

TEST(XmlOstreamTest, CheckedIdentifiers) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  xml.check_identifiers = true;
  Tag r(xml, "R");
  for (char const* name : {"", "1a", "a b", "x:y", "-a", "a\xc3\xa9"}) {
    XmlOstream fresh(out, Indent(Indent::Flat));
    fresh.check_identifiers = true;
    std::string const text = std::string("ZelTools::Xml::InvalidIdentifier: '") + name + "'";
    EXPECT_EQ(error_of([&] { Tag t(fresh, name); }), text);
    EXPECT_EQ(error_of([&] { r.attribute(name); }), text);
  }
  for (char const* valid : {"a", "_x", "a-b.c", "a1"}) r.attribute(valid);
  Tag c(xml, "C");
  c.attribute("a");  // the same name on another element
  EXPECT_EQ(error_of([&] { c.attribute("a"); }), "ZelTools::Xml::MultiplyDefined: 'a'");
}

std::string escaped(std::string const& text, bool quote) {
  std::ostringstream out;
  write_escaped(out, text.data(), text.size(), quote);
  return out.str();
}

TEST(XmlOstreamTest, EscapingCases) {
  for (auto const& c : cases::read("zeltools/xml/cases/escaping.txt")) {
    EXPECT_EQ(escaped(c[0], true), c[1]) << c[0];
    EXPECT_EQ(escaped(c[0], false), c[2]) << c[0];
  }
}

// Every byte at every offset of texts around the escaper's eight-byte stride.
TEST(XmlOstreamTest, RunEscapingMatchesBytewiseEscaping) {
  for (bool const quote : {true, false}) {
    for (std::size_t const length : {1, 7, 8, 9, 17, 40}) {
      for (int byte = 0; byte < 256; ++byte) {
        for (std::size_t at = 0; at < length; ++at) {
          std::string text(length, 'a');
          text[at] = static_cast<char>(byte);
          if (at + 3 < length) text[at + 3] = '<';  // a second marked byte nearby
          std::string expected;
          for (char const c : text) expected += escaped(std::string(1, c), quote);
          ASSERT_EQ(escaped(text, quote), expected)
              << "byte " << byte << " at " << at << " of " << length;
        }
      }
    }
  }
}

// Every non-NUL byte and bad UTF-8, whole or in pieces of 1 to 4 bytes: the
// same document wherever the cuts fall, well-formed, the text read back as is.
TEST(XmlOstreamTest, AnyBytesInAnyPiecesMakeAWellFormedDocument) {
  std::string const tricky = "a<b & \"c\" 'd' > e\tf\ng\rh \xc3\xa9 ]]> -- end";
  std::string any = "\xc3.\xe2\x82.\xf0\x9f\x98.\xed\xa0\x80.\xc0\xaf.\xef\xbf\xbf";
  for (int byte = 1; byte < 256; ++byte) any += static_cast<char>(byte);
  for (int style : {Indent::Flat, Indent::Lines, Indent::Pretty}) {
    std::string whole;
    for (std::size_t piece = 0; piece <= 4; ++piece) {  // 0: inserted whole
      std::string const doc = render(style, [&](XmlOstream& xml) {
        Tag r(xml, "R");
        r.attribute("v");
        xml << tricky;
        for (bool const text : {false, true}) {
          text ? xml.text() : r.attribute("any");
          std::ostream& data = *xml.data();
          for (std::size_t at = 0, n = 0; at < any.size(); at += n) {
            n = std::min(piece ? piece : any.size(), any.size() - at);
            n == 1 ? data.put(any[at]) : data.write(any.data() + at, std::streamsize(n));
          }
        }
      });
      if (piece == 0) whole = doc;
      ASSERT_EQ(doc, whole) << "pieces of " << piece;
    }
    xmlDoc* doc = xmlReadMemory(whole.data(), static_cast<int>(whole.size()), "doc.xml", nullptr,
                                XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr) << whole;
    xmlChar* v = xmlGetProp(xmlDocGetRootElement(doc), reinterpret_cast<xmlChar const*>("v"));
    EXPECT_EQ(reinterpret_cast<char const*>(v), tricky);
    xmlFree(v);
    xmlFreeDoc(doc);
  }
}

// Direct and streamed values agree; a data stream starts fresh whatever its
// last user left; integers follow a digit-grouping global locale.
TEST(XmlOstreamTest, DirectStreamedAndFreshValuesAgree) {
  struct Thousands : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::string const tricky = "x<y & \"z\"\n" + std::string(30, 'w') + "\x7f>";
  auto values = [&](auto&& put) {
    put(tricky), put(tricky.c_str()), put(INT_MIN), put(LONG_MAX), put(LLONG_MIN);
    put(0u), put(ULONG_MAX), put(ULLONG_MAX), put(1234567);
  };
  std::string docs[2];
  for (bool const streamed : {false, true}) {
    std::locale const previous =
        std::locale::global(std::locale(std::locale::classic(), new Thousands));
    docs[streamed] = render(Indent::Flat, [&](XmlOstream& xml) {
      Tag r(xml, "R");
      r.attribute("v");
      for (int run = 0; run < 2; ++run) {
        if (streamed) {
          std::ostream& os = *xml.data();
          values([&](auto v) { os << v; });
          os << std::hex << std::showbase << std::setfill('*') << std::left << std::setw(9);
          os.setstate(std::ios_base::failbit);
        } else {
          values([&](auto v) { xml << v; });
        }
        xml.text();
      }
    });
    std::locale::global(previous);
  }
  EXPECT_EQ(docs[0], docs[1]);
  EXPECT_NE(docs[0].find("18,446,744,073,709,551,6151,234,567</R>"), std::string::npos) << docs[0];
}

}  // namespace
