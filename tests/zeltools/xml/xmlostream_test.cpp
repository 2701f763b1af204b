// The XML writer: layouts, escaping, the element state machine and its
// errors, identifier checks.
#include "zeltools/xml/Xml.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>

namespace {

using ZelTools::Xml::Error;
using ZelTools::Xml::Indent;
using ZelTools::Xml::InvalidIdentifier;
using ZelTools::Xml::MultiplyDefined;
using ZelTools::Xml::Ostream;
using ZelTools::Xml::Section;
using ZelTools::Xml::Tag;
using ZelTools::Xml::XmlOstream;

using Body = std::function<void(XmlOstream&)>;

std::string render(int style, Body const& body) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(style));
  body(xml);
  return out.str();
}

std::string printed(ZelTools::Exception const& e) {
  std::ostringstream os;
  e.print(os);
  return os.str();
}

// Runs `misuse` and expects it to throw an Error printing "ZelTools::Xml::Error: " + message.
void expect_error(std::function<void()> const& misuse, std::string const& message) {
  try {
    misuse();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (Error const& e) {
    EXPECT_EQ(printed(e), "ZelTools::Xml::Error: " + message);
  }
}

std::string const declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

// Element R with attribute a = 1, an empty child C, then the text hi.
void example(XmlOstream& xml) {
  Tag r(xml, "R");
  xml.current_tag().attribute("a");
  xml << 1;
  { Tag c(xml, "C"); }
  xml.text();
  xml << "hi";
}

struct LayoutCase {
  int style;
  std::string expected;
};

TEST(XmlOstreamTest, ExampleInEachLayout) {
  LayoutCase const cases[] = {
      {Indent::Lines, declaration + "\n<R\na=\"1\">\n<C/>\nhi\n</R>\n"},
      {Indent::Pretty, declaration + "\n<R\n  a=\"1\">\n  <C/>\n  hi\n</R>\n"},
      {Indent::Flat, declaration + "<R a=\"1\"><C/>hi</R>"},
      {7, declaration + "<R a=\"1\"><C/>hi</R>"},  // unknown styles are Flat
      {-1, declaration + "<R a=\"1\"><C/>hi</R>"},
  };
  for (LayoutCase const& c : cases) {
    EXPECT_EQ(render(c.style, example), c.expected) << "style " << c.style;
  }
}

TEST(XmlOstreamTest, IndentFromStyle) {
  struct {
    int style, step;
    bool newline;
  } const cases[] = {{0, 0, false}, {1, 0, true}, {2, 2, true}, {3, 0, false}};
  for (auto const& c : cases) {
    Indent const indent(c.style);
    EXPECT_EQ(indent.level, 0);
    EXPECT_EQ(indent.step, c.step) << c.style;
    EXPECT_EQ(indent.newline, c.newline) << c.style;
  }
}

TEST(XmlOstreamTest, EmptyElementsSelfClose) {
  EXPECT_EQ(render(Indent::Flat, [](XmlOstream& xml) { Tag c(xml, "C"); }), declaration + "<C/>");
  EXPECT_EQ(render(Indent::Flat,
                   [](XmlOstream& xml) {
                     Tag c(xml, "C");
                     c.attribute("a");
                     xml << 1;
                   }),
            declaration + "<C a=\"1\"/>");
  EXPECT_EQ(render(Indent::Flat,
                   [](XmlOstream& xml) {
                     Tag c(xml, "C");
                     c.attribute("a");
                     c.attribute("b");
                     xml << "x";
                   }),
            declaration + "<C a=\"\" b=\"x\"/>");
}

TEST(XmlOstreamTest, EscapingOfAttributeValuesAndText) {
  struct {
    std::string in, attribute, text;
  } const cases[] = {
      {"\"&<>\n", "&quot;&amp;&lt;&gt;&#10;", "\"&amp;&lt;&gt;&#10;"},
      {"a\tb", "a&#9;b", "a&#9;b"},
      {"\r", "&#13;", "&#13;"},
      {std::string(1, '\0'), "&#0;", "&#0;"},
      {"\x1f\x7f", "&#31;&#127;", "&#31;&#127;"},
      {"it's \xc3\xa9\xff", "it's \xc3\xa9\xff", "it's \xc3\xa9\xff"},
      {"", "", ""},
  };
  for (auto const& c : cases) {
    std::string const doc = render(Indent::Flat, [&](XmlOstream& xml) {
      Tag r(xml, "R");
      r.attribute("v");
      xml << c.in;
      xml.text();
      xml << c.in;
    });
    EXPECT_EQ(doc, declaration + "<R v=\"" + c.attribute + "\">" + c.text + "</R>") << c.in;
  }
}

TEST(XmlOstreamTest, ValuesUseStandardFormattingIndependentOfTarget) {
  std::ostringstream out;
  out << std::hex;
  {
    XmlOstream xml(out, Indent(Indent::Flat));
    Tag r(xml, "R");
    r.attribute("i");
    xml << -42;
    r.attribute("u");
    xml << 4000000000u;
    r.attribute("l");
    xml << 18446744073709551615ul;
    r.attribute("s");
    xml << std::string("str");
  }
  EXPECT_EQ(out.str(),
            declaration + "<R i=\"-42\" u=\"4000000000\" l=\"18446744073709551615\" s=\"str\"/>");
}

TEST(XmlOstreamTest, TwoTextRunsAreTwoLines) {
  EXPECT_EQ(render(Indent::Lines,
                   [](XmlOstream& xml) {
                     Tag r(xml, "R");
                     xml.text();
                     xml << "one";
                     xml.text();
                     xml << "two";
                   }),
            declaration + "\n<R>\none\ntwo\n</R>\n");
}

TEST(XmlOstreamTest, CommentAndCdataSections) {
  EXPECT_EQ(render(Indent::Lines,
                   [](XmlOstream& xml) {
                     Tag m(xml, "Msg");
                     Section lost(xml, false);
                     xml << "Lost";
                   }),
            declaration + "\n<Msg>\n<!--Lost-->\n</Msg>\n");
  // Section content is raw: no escaping, no check for "]]>" or "--".
  EXPECT_EQ(render(Indent::Pretty,
                   [](XmlOstream& xml) {
                     Tag r(xml, "R");
                     xml.text();
                     xml << "t";
                     {
                       Section cdata(xml, true);
                       xml << "<&\"-- x";
                     }
                     { Tag c(xml, "C"); }
                   }),
            declaration + "\n<R>\n  t\n  <![CDATA[<&\"-- x]]>\n  <C/>\n</R>\n");
}

TEST(XmlOstreamTest, PrettyIndentStopsAtFortyColumns) {
  std::string const doc = render(Indent::Pretty, [](XmlOstream& xml) {
    std::function<void(int)> nest = [&](int depth) {
      Tag t(xml, "T");
      if (depth < 30) nest(depth + 1);
    };
    nest(0);
  });
  std::istringstream lines(doc);
  std::string line;
  std::size_t widest = 0;
  int count = 0;
  while (std::getline(lines, line)) {
    ++count;
    widest = std::max(widest, line.find_first_not_of(' '));
  }
  EXPECT_EQ(count, 1 + 31 + 30);  // declaration, start tags, end tags (the innermost is <T/>)
  EXPECT_EQ(widest, 40u);
}

TEST(XmlOstreamTest, IndentUsesFillCharacterOfTarget) {
  std::ostringstream out;
  out.fill('.');
  {
    XmlOstream xml(out, Indent(Indent::Pretty));
    Tag r(xml, "R");
    Tag c(xml, "C");
    c.attribute("a");
    xml << 1;
  }
  EXPECT_EQ(out.str(), declaration + "\n<R>\n..<C\n....a=\"1\"/>\n</R>\n");
}

TEST(XmlOstreamTest, CountersCountFinishedPeriods) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  Tag r(xml, "R");
  r.attribute("a");
  r.attribute("b");
  EXPECT_EQ(r.attributes_done(), 1);
  xml.text();
  EXPECT_EQ(r.attributes_done(), 2);
  EXPECT_EQ(r.texts_done(), 0);
  {
    Tag c(xml, "C");
    EXPECT_EQ(c.parent_tag(), &r);
    EXPECT_EQ(&xml.current_tag(), &c);
    EXPECT_EQ(c.tag_indent().level, 1);
    EXPECT_EQ(r.texts_done(), 1);
    EXPECT_EQ(r.subs_done(), 0);
  }
  { Section s(xml, false); }
  EXPECT_EQ(r.subs_done(), 1);
  xml.text();
  EXPECT_EQ(r.subs_done(), 2);
  EXPECT_EQ(&xml.current_tag(), &r);
}

TEST(XmlOstreamTest, AttributeAfterTextOrChildFails) {
  std::string const message = "Tag must be in Start or in Attribute to insert Attribute";
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  Tag r(xml, "R");
  xml.text();
  expect_error([&] { r.attribute("a"); }, message);
  { Tag c(xml, "C"); }
  expect_error([&] { r.attribute("a"); }, message);
  {
    Tag c(xml, "C");
    expect_error([&] { r.attribute("a"); }, message);  // the parent, while a child is open
  }
  { Section s(xml, true); }
  expect_error([&] { r.attribute("a"); }, message);
}

TEST(XmlOstreamTest, DataOutsideAttributeTextOrSectionFails) {
  std::string const message = "Must be in Attribute, Text, Comment or CData to insert data";
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  expect_error([&] { xml << 1; }, message);
  {
    Tag r(xml, "R");
    expect_error([&] { xml << "x"; }, message);
    r.attribute("a");
    {
      Tag c(xml, "C");
      expect_error([&] { xml << "x"; }, message);
    }
    { Section s(xml, false); }
    expect_error([&] { xml << "x"; }, message);
  }
  expect_error([&] { xml << "x"; }, message);
  // Nothing was written for the failed insertions.
  EXPECT_EQ(out.str(), declaration + "<R a=\"\"><C/><!----></R>");
}

TEST(XmlOstreamTest, SecondRootFails) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  { Tag r(xml, "R"); }
  expect_error([&] { Tag again(xml, "R"); }, "multi root tree");
  expect_error([&] { xml.text(); },
               "Ostream state must be in Tag and tags stack non-empty to use current tag");
  EXPECT_EQ(out.str(), declaration + "<R/>");
}

TEST(XmlOstreamTest, SectionsNeedAnOpenElementAndDoNotNest) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  expect_error([&] { Section s(xml, false); },
               "Ostream tags stack should not be empty to open a Comment or CData section");
  expect_error([&] { xml.current_tag(); },
               "Ostream state must be in Tag and tags stack non-empty to use current tag");
  Tag r(xml, "R");
  Section comment(xml, false);
  std::string const no_tag =
      "Ostream state must be in Tag and tags stack non-empty to use current tag";
  expect_error([&] { Section inner(xml, true); }, no_tag);
  expect_error([&] { Tag inner(xml, "C"); }, no_tag);
  expect_error([&] { xml.text(); }, no_tag);
  xml << "still fine";
}

TEST(XmlOstreamTest, WriterContinuesAfterMisuse) {
  std::string const doc = render(Indent::Flat, [](XmlOstream& xml) {
    Tag r(xml, "R");
    r.attribute("a");
    xml << 1;
    xml.text();
    xml << "t";
    EXPECT_THROW(r.attribute("b"), Error);
    xml << "u";
  });
  EXPECT_EQ(doc, declaration + "<R a=\"1\">tu</R>");
}

TEST(XmlOstreamTest, CheckedIdentifiers) {
  char const* const valid[] = {"a", "_x", "a-b.c", "a1", "Z_9-."};
  char const* const invalid[] = {"", "1a", "a b", "x:y", "-a", ".a", "\xc3\xa9", "a\xc3\xa9"};
  for (char const* name : valid) {
    std::ostringstream out;
    XmlOstream xml(out, Indent(Indent::Flat));
    xml.check_identifiers = true;
    Tag r(xml, name);
    EXPECT_NO_THROW(r.attribute(name)) << name;
  }
  for (char const* name : invalid) {
    std::ostringstream out;
    XmlOstream xml(out, Indent(Indent::Flat));
    xml.check_identifiers = true;
    try {
      Tag r(xml, name);
      ADD_FAILURE() << "element name accepted: " << name;
    } catch (InvalidIdentifier const& e) {
      EXPECT_EQ(printed(e), std::string("ZelTools::Xml::InvalidIdentifier: '") + name + "'");
    }
  }
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  xml.check_identifiers = true;
  Tag r(xml, "R");
  for (char const* name : invalid) EXPECT_THROW(r.attribute(name), InvalidIdentifier) << name;
  char const* const none = nullptr;
  EXPECT_THROW(r.attribute(none), InvalidIdentifier);
}

TEST(XmlOstreamTest, RepeatedAttributeOnOneElementFails) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  xml.check_identifiers = true;
  Tag r(xml, "R");
  r.attribute("a");
  {
    Tag c(xml, "C");
    EXPECT_NO_THROW(c.attribute("a"));  // the same name on another element
    try {
      c.attribute("a");
      ADD_FAILURE() << "repeated attribute accepted";
    } catch (MultiplyDefined const& e) {
      EXPECT_EQ(printed(e), "ZelTools::Xml::MultiplyDefined: 'a'");
    }
  }
  EXPECT_EQ(out.str(), declaration + "<R a=\"\"><C a=\"\"/>");
}

TEST(XmlOstreamTest, ExceptionTexts) {
  ZelTools::Xml::Exception const base;
  EXPECT_EQ(printed(base), "ZelTools::Xml::Exception");
  EXPECT_STREQ(base.what(), "ZelTools::Exception");
  EXPECT_EQ(printed(Error("msg")), "ZelTools::Xml::Error: msg");
  EXPECT_EQ(printed(InvalidIdentifier("x:y")), "ZelTools::Xml::InvalidIdentifier: 'x:y'");
  EXPECT_EQ(printed(MultiplyDefined("a")), "ZelTools::Xml::MultiplyDefined: 'a'");
  EXPECT_STREQ(MultiplyDefined("a").what(), "ZelTools::Exception");
}

TEST(XmlOstreamTest, PlainOstreamPassesOnlyDataUnescaped) {
  std::ostringstream out;
  {
    Ostream plain(out, Indent(Indent::Pretty));
    Tag r(plain, "R");
    r.attribute("a");
    plain << "<&\"";
    plain.text();
    plain << 5;
  }
  EXPECT_EQ(out.str(), "<&\"5");
}

}  // namespace
