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
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace ZelTools::Xml;

std::string render(int style, std::function<void(XmlOstream&)> const& body) {
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

TEST(XmlOstreamTest, ExampleInEachLayout) {
  struct {
    int style;
    std::string expected;
  } const cases[] = {
      {Indent::Lines, declaration + "\n<R\na=\"1\">\n<C/>\nhi\n</R>\n"},
      {Indent::Pretty, declaration + "\n<R\n  a=\"1\">\n  <C/>\n  hi\n</R>\n"},
      {Indent::Flat, declaration + "<R a=\"1\"><C/>hi</R>"},
      {7, declaration + "<R a=\"1\"><C/>hi</R>"},  // unknown styles are Flat
  };
  for (auto const& c : cases) EXPECT_EQ(render(c.style, example), c.expected) << c.style;
}

TEST(XmlOstreamTest, EmptyElementsSelfClose) {
  EXPECT_EQ(render(Indent::Flat, [](XmlOstream& xml) { Tag c(xml, "C"); }), declaration + "<C/>");
  EXPECT_EQ(render(Indent::Flat,
                   [](XmlOstream& xml) {
                     Tag c(xml, "C");
                     c.attribute("a");
                     xml << 1;
                     c.attribute("b");
                   }),
            declaration + "<C a=\"1\" b=\"\"/>");
}

TEST(XmlOstreamTest, EscapingOfAttributeValuesAndText) {
  struct {
    std::string in, attribute, text;
  } const cases[] = {
      {"\"&<>\n", "&quot;&amp;&lt;&gt;&#10;", "\"&amp;&lt;&gt;&#10;"},
      {"a\tb\r", "a&#9;b&#13;", "a&#9;b&#13;"},
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

TEST(XmlOstreamTest, TextRunsAndSections) {
  EXPECT_EQ(render(Indent::Lines,
                   [](XmlOstream& xml) {
                     Tag r(xml, "R");
                     xml.text();
                     xml << "one";
                     xml.text();
                     xml << "two";
                     Section lost(xml, false);
                     xml << "Lost";
                   }),
            declaration + "\n<R>\none\ntwo\n<!--Lost-->\n</R>\n");
  // Section content is raw: no escaping, no check for "]]>" or "--".
  EXPECT_EQ(render(Indent::Pretty,
                   [](XmlOstream& xml) {
                     Tag r(xml, "R");
                     Section cdata(xml, true);
                     xml << "<&\"-- x";
                   }),
            declaration + "\n<R>\n  <![CDATA[<&\"-- x]]>\n</R>\n");
}

TEST(XmlOstreamTest, PrettyIndentStopsAtFortyColumns) {
  std::string const doc = render(Indent::Pretty, [](XmlOstream& xml) {
    std::function<void(int)> nest = [&](int depth) {
      Tag t(xml, "T");
      if (depth < 30) nest(depth + 1);
    };
    nest(0);
  });
  EXPECT_NE(doc.find("\n" + std::string(40, ' ') + "<T>"), std::string::npos);
  EXPECT_EQ(doc.find(std::string(41, ' ')), std::string::npos);
}

// Each misuse throws Error with its text and writes nothing.
TEST(XmlOstreamTest, MisuseFailsWithoutWriting) {
  std::string const no_tag =
      "Ostream state must be in Tag and tags stack non-empty to use current tag";
  std::string const not_start = "Tag must be in Start or in Attribute to insert Attribute";
  std::string const no_data = "Must be in Attribute, Text, Comment or CData to insert data";
  std::string const no_section =
      "Ostream tags stack should not be empty to open a Comment or CData section";
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Flat));
  auto expect_error = [&](std::function<void()> const& misuse, std::string const& message) {
    std::string const before = out.str();
    try {
      misuse();
      ADD_FAILURE() << "no error, expected: " << message;
    } catch (Error const& e) {
      EXPECT_EQ(printed(e), "ZelTools::Xml::Error: " + message);
    }
    EXPECT_EQ(out.str(), before) << message;
  };
  expect_error([&] { xml << 1; }, no_data);
  expect_error([&] { xml.data(); }, no_data);
  expect_error([&] { Section s(xml, false); }, no_section);
  {
    Tag r(xml, "R");
    expect_error([&] { xml << "x"; }, no_data);
    xml.text();
    expect_error([&] { r.attribute("a"); }, not_start);
    {
      Tag c(xml, "C");
      expect_error([&] { r.attribute("a"); }, not_start);
    }
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
}

// A tag destroyed before a tag it contains (both owned by pointers, say) is
// forgotten all the same: no open element is left behind.
TEST(XmlOstreamTest, TagDestroyedOutOfOrderIsForgotten) {
  struct Probe : XmlOstream {
    using XmlOstream::top_tag;
    using XmlOstream::XmlOstream;
  };
  std::ostringstream out;
  Probe xml(out, Indent(Indent::Flat));
  auto root = std::make_unique<Tag>(xml, "R");
  auto inner = std::make_unique<Tag>(xml, "C");
  root.reset();
  EXPECT_EQ(xml.top_tag(), inner.get());
  inner.reset();
  EXPECT_EQ(xml.top_tag(), nullptr);
}

TEST(XmlOstreamTest, CheckedIdentifiers) {
  char const* const valid[] = {"a", "_x", "a-b.c", "a1"};
  char const* const invalid[] = {"", "1a", "a b", "x:y", "-a", "a\xc3\xa9"};
  std::ostringstream out;
  for (char const* name : invalid) {
    XmlOstream xml(out, Indent(Indent::Flat));
    xml.check_identifiers = true;
    try {
      Tag r(xml, name);
      ADD_FAILURE() << "element name accepted: " << name;
    } catch (InvalidIdentifier const& e) {
      EXPECT_EQ(printed(e), std::string("ZelTools::Xml::InvalidIdentifier: '") + name + "'");
    }
  }
  XmlOstream fresh(out, Indent(Indent::Flat));
  fresh.check_identifiers = true;
  Tag r(fresh, "R");
  for (char const* name : valid) EXPECT_NO_THROW(r.attribute(name)) << name;
  for (char const* name : invalid) EXPECT_THROW(r.attribute(name), InvalidIdentifier) << name;
  Tag c(fresh, "C");
  EXPECT_NO_THROW(c.attribute("a"));  // the same name on another element
  try {
    c.attribute("a");
    ADD_FAILURE() << "repeated attribute accepted";
  } catch (MultiplyDefined const& e) {
    EXPECT_EQ(printed(e), "ZelTools::Xml::MultiplyDefined: 'a'");
  }
}

TEST(XmlOstreamTest, ExceptionTexts) {
  EXPECT_EQ(printed(ZelTools::Xml::Exception()), "ZelTools::Xml::Exception");
  EXPECT_STREQ(Error("m").what(), "ZelTools::Exception");
  EXPECT_EQ(printed(Error("msg")), "ZelTools::Xml::Error: msg");
}

// A document in each layout, read back by libxml2: values and text unchanged.
TEST(XmlOstreamTest, ParserReadsDocumentsBack) {
  std::string const tricky = "a<b & \"c\" 'd' > e\tf\ng\rh \xc3\xa9 ]]> -- end";
  for (int style : {Indent::Flat, Indent::Lines, Indent::Pretty}) {
    std::string const text = render(style, [&](XmlOstream& xml) {
      Tag root(xml, "Root");
      root.attribute("v");
      xml << tricky;
      for (int i = 0; i < 2; ++i) {
        Tag item(xml, "Item");
        xml.text();
        xml << tricky;
        Section comment(xml, false);
        xml << "note";
      }
      Section cdata(xml, true);
      xml << "<raw & data>";
    });
    xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr, 0);
    ASSERT_NE(doc, nullptr) << text;
    xmlNode* root = xmlDocGetRootElement(doc);
    xmlChar* value = xmlGetProp(root, reinterpret_cast<xmlChar const*>("v"));
    EXPECT_EQ(reinterpret_cast<char const*>(value), tricky);
    xmlFree(value);
    xmlNode* item = xmlFirstElementChild(root);
    ASSERT_NE(item, nullptr);
    // The layout's line breaks and indentation frame the text run.
    std::string const frame[] = {"", "\n", "\n    "};
    std::string const expected = frame[style] + tricky + frame[style];
    EXPECT_EQ(reinterpret_cast<char const*>(item->children->content), expected) << style;
    xmlFreeDoc(doc);
  }
}

// The escaping of one byte, one byte at a time, as the writer's table has it.
std::string escaped_byte(char c, bool quote) {
  unsigned char const byte = static_cast<unsigned char>(c);
  if (c == '"') return quote ? "&quot;" : "\"";
  if (c == '&') return "&amp;";
  if (c == '<') return "&lt;";
  if (c == '>') return "&gt;";
  if (c == '\t' || c == '\n' || c == '\r' || byte == 0x7F) return "&#" + std::to_string(byte) + ";";
  if (byte < 0x20) return "&#" + std::to_string(0x2400 + byte) + ";";
  if (byte >= 0x80) return "&#65533;";  // alone among ASCII bytes: ill-formed
  return std::string(1, c);
}

std::string escaped_bytewise(std::string const& text, bool quote) {
  std::string result;
  for (char const c : text) result += escaped_byte(c, quote);
  return result;
}

// Every byte value at every offset of texts shorter and longer than the
// eight bytes that the escaper passes over at once.
TEST(XmlOstreamTest, RunEscapingMatchesBytewiseEscaping) {
  for (bool const quote : {true, false}) {
    for (std::size_t const length : {1, 7, 8, 9, 17, 40}) {
      for (int byte = 0; byte < 256; ++byte) {
        for (std::size_t at = 0; at < length; ++at) {
          std::string text(length, 'a');
          text[at] = static_cast<char>(byte);
          if (at + 3 < length) text[at + 3] = '<';  // a second marked byte nearby
          std::ostringstream out;
          write_escaped(out, text.data(), text.size(), quote);
          ASSERT_EQ(out.str(), escaped_bytewise(text, quote))
              << "byte " << byte << " at " << at << " of " << length << " quote " << quote;
        }
      }
    }
  }
}

// UTF-8: well-formed sequences pass; each maximal ill-formed subsequence
// (truncated, overlong, surrogate, above U+10FFFF, lone continuation) gives
// one replacement; U+FFFE and U+FFFF, not XML characters, give one too.
TEST(XmlOstreamTest, IllFormedUtf8GivesOneReplacementPerMaximalSubsequence) {
  std::string const r = "&#65533;";
  struct {
    std::string in, out;
  } const cases[] = {
      {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf",
       "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xf4\x8f\xbf\xbf"},
      {"\x80\xbf", r + r},                                  // lone continuation bytes
      {"\xe2\x82", r},                                      // truncated at the end
      {"\xe2\x82z", r + "z"},                               // truncated before ASCII
      {"\xf0\x9f\x98\xc3\xa9", r + "\xc3\xa9"},             // truncated before a new sequence
      {"\xc0\xaf\xe0\x80\xaf", r + r + r + r + r},          // overlong: no valid prefix
      {"\xed\xa0\x80\xed\xbf\xbf", r + r + r + r + r + r},  // surrogates
      {"\xf4\x90\x80\x80\xf5\xfe\xff", r + r + r + r + r + r + r},  // above U+10FFFF
      {"\xef\xbf\xbe\xef\xbf\xbf\xef\xbf\xbd", r + r + "\xef\xbf\xbd"},
  };
  for (auto const& c : cases) {
    for (bool const quote : {true, false}) {
      std::ostringstream out;
      write_escaped(out, c.in.data(), c.in.size(), quote);
      EXPECT_EQ(out.str(), c.out) << c.in;
    }
  }
}

// Random bytes (every non-NUL value, and the UTF-8 troubles above made
// likely) inserted in random pieces, directly and through the data stream:
// the bytes do not depend on where the pieces were cut, and libxml2 reads
// every value back.
TEST(XmlOstreamTest, AnyBytesInAnyPiecesMakeAWellFormedDocument) {
  std::mt19937 random(20261206);
  char const* const troubles[] = {"\xc3",         "\xe2\x82", "\xf0\x9f\x98", "\x80",
                                  "\xed\xa0\x80", "\xc0\xaf", "\xef\xbf\xbf", "\x01",
                                  "\x1b",         "&<\"",     "\xc3\xa9"};
  auto random_text = [&] {
    std::string text;
    for (int n = static_cast<int>(random() % 24); n > 0; --n) {
      if (random() % 3 == 0) {
        text += troubles[random() % (sizeof troubles / sizeof *troubles)];
      } else {
        text += static_cast<char>(1 + random() % 255);
      }
    }
    return text;
  };
  for (int round = 0; round < 2000; ++round) {
    std::vector<std::string> values;
    for (int i = 0; i < 3; ++i) values.push_back(random_text());
    auto write = [&](bool pieces) {
      return render(round % 3, [&](XmlOstream& xml) {
        Tag r(xml, "R");
        for (int i = 0; i < 2; ++i) {
          r.attribute(i == 0 ? "a" : "b");
          std::string const& v = values[static_cast<std::size_t>(i)];
          if (!pieces) {
            xml << v;
            continue;
          }
          std::ostream& data = *xml.data();
          for (std::size_t at = 0; at < v.size();) {
            std::size_t const n = std::min<std::size_t>(1 + random() % 4, v.size() - at);
            if (n == 1)
              data.put(v[at]);
            else
              data.write(v.data() + at, static_cast<std::streamsize>(n));
            at += n;
          }
        }
        xml.text();
        xml << values[2];
      });
    };
    std::string const whole = write(false);
    ASSERT_EQ(write(true), whole);
    xmlDoc* doc = xmlReadMemory(whole.data(), static_cast<int>(whole.size()), "doc.xml", nullptr,
                                XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    ASSERT_NE(doc, nullptr) << whole;
    EXPECT_NE(xmlHasProp(xmlDocGetRootElement(doc), reinterpret_cast<xmlChar const*>("b")),
              nullptr);
    xmlFreeDoc(doc);
  }
}

// Values inserted into the writer and values written through its data
// stream give the same bytes, in attributes and text alike.
TEST(XmlOstreamTest, DirectAndStreamedValuesAgree) {
  std::string const tricky = "x<y & \"z\"\n" + std::string(30, 'w') + "\x7f>";
  auto both = [&](std::function<void(XmlOstream&)> const& direct,
                  std::function<void(std::ostream&)> const& streamed) {
    std::string const a = render(Indent::Flat, [&](XmlOstream& xml) {
      Tag r(xml, "R");
      r.attribute("v");
      direct(xml);
      xml.text();
      direct(xml);
    });
    std::string const b = render(Indent::Flat, [&](XmlOstream& xml) {
      Tag r(xml, "R");
      r.attribute("v");
      streamed(*xml.data());
      xml.text();
      streamed(*xml.data());
    });
    EXPECT_EQ(a, b);
  };
  both([&](XmlOstream& xml) { xml << tricky; }, [&](std::ostream& os) { os << tricky; });
  both([&](XmlOstream& xml) { xml << tricky.c_str(); },
       [&](std::ostream& os) { os << tricky.c_str(); });
  both([](XmlOstream& xml) { xml << INT_MIN; }, [](std::ostream& os) { os << INT_MIN; });
  both([](XmlOstream& xml) { xml << LONG_MAX; }, [](std::ostream& os) { os << LONG_MAX; });
  both([](XmlOstream& xml) { xml << LLONG_MIN; }, [](std::ostream& os) { os << LLONG_MIN; });
  both([](XmlOstream& xml) { xml << 0u; }, [](std::ostream& os) { os << 0u; });
  both([](XmlOstream& xml) { xml << ULONG_MAX; }, [](std::ostream& os) { os << ULONG_MAX; });
  both([](XmlOstream& xml) { xml << ULLONG_MAX; }, [](std::ostream& os) { os << ULLONG_MAX; });
}

// A data stream that is made again for a later item has a fresh stream's
// formatting and state, whatever the previous user left in it.
TEST(XmlOstreamTest, EachDataStreamStartsFresh) {
  std::string const doc = render(Indent::Flat, [](XmlOstream& xml) {
    Tag r(xml, "R");
    for (int run = 0; run < 2; ++run) {
      xml.text();
      std::ostream& os = *xml.data();
      os << 255 << ' ' << 1.5 << '|' << std::setw(4) << 7;
      os << std::hex << std::showbase << std::setfill('*') << std::setprecision(2) << std::left;
      os.setstate(std::ios_base::failbit);
    }
  });
  EXPECT_EQ(doc, declaration + "<R>255 1.5|   7255 1.5|   7</R>");
}

// With a global locale that groups digits, integers come out as a fresh
// stream prints them, grouped.
TEST(XmlOstreamTest, IntegersFollowTheGlobalLocale) {
  struct Thousands : std::numpunct<char> {
    char do_thousands_sep() const override { return ','; }
    std::string do_grouping() const override { return "\3"; }
  };
  std::locale const previous =
      std::locale::global(std::locale(std::locale::classic(), new Thousands));
  std::string const doc = render(Indent::Flat, [](XmlOstream& xml) {
    Tag r(xml, "R");
    r.attribute("n");
    xml << 1234567;
    xml.text();
    xml << 7654321u;
  });
  std::locale::global(previous);
  EXPECT_EQ(doc, declaration + "<R n=\"1,234,567\">7,654,321</R>");
}

// The markup reaches the target once a child of the root closes, and
// before a data stream is handed out.
TEST(XmlOstreamTest, OutputReachesTheTargetAtEachRecord) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(Indent::Lines));
  EXPECT_EQ(out.str(), declaration + "\n");
  Tag root(xml, "Log");
  for (int record = 1; record <= 2; ++record) {
    {
      Tag msg(xml, "Msg");
      msg.attribute("Rank");
      xml << record;
      xml.text();
      std::ostream& text = *xml.data();
      std::string const before_text = out.str();
      text << "hi";
      EXPECT_EQ(out.str(), before_text + "hi");
      EXPECT_EQ(before_text.substr(before_text.size() - 15),
                "<Msg\nRank=\"" + std::to_string(record) + "\">\n");
    }
    EXPECT_EQ(out.str().substr(out.str().size() - 10), "hi\n</Msg>\n");
  }
}

}  // namespace
