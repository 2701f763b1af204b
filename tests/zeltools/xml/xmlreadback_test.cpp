// Documents written by the XML writer, read back with a real XML parser:
// well-formed in every layout, with values and text unchanged.
#include "zeltools/xml/Xml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>
#include <sstream>
#include <string>

namespace {

using ZelTools::Xml::Indent;
using ZelTools::Xml::Section;
using ZelTools::Xml::Tag;
using ZelTools::Xml::XmlOstream;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

Doc parse(std::string const& text) {
  return Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "doc.xml", nullptr,
                           XML_PARSE_NONET));
}

std::string attribute(xmlNode* node, char const* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<xmlChar const*>(name));
  if (!value) return "<missing>";
  std::string result(reinterpret_cast<char*>(value));
  xmlFree(value);
  return result;
}

// The node's first text child.
std::string first_text(xmlNode* node) {
  for (xmlNode* child = node->children; child; child = child->next) {
    if (child->type == XML_TEXT_NODE) return reinterpret_cast<char const*>(child->content);
  }
  return "<missing>";
}

xmlNode* first_element(xmlNode* node) {
  for (; node; node = node->next) {
    if (node->type == XML_ELEMENT_NODE) return node;
  }
  return nullptr;
}

// Every byte the writer escapes that XML 1.0 allows back, with UTF-8.
std::string const tricky = "a<b & \"c\" 'd' > e\tf\ng\rh \xc3\xa9 ]]> -- end";

void write_elements(XmlOstream& xml) {
  xml.check_identifiers = true;
  Tag root(xml, "Root");
  root.attribute("value");
  xml << tricky;
  root.attribute("n");
  xml << 42;
  for (int i = 0; i < 3; ++i) {
    Tag item(xml, "Item");
    item.attribute("i");
    xml << i;
    xml.text();
    xml << tricky;
    { Tag deeper(xml, "Deeper.x-y_z"); }
    Section comment(xml, false);
    xml << "note ";
    xml << i;
  }
  {
    Section cdata(xml, true);
    xml << "<raw & \"data\">";
  }
}

std::string write_document(int style) {
  std::ostringstream out;
  XmlOstream xml(out, Indent(style));
  write_elements(xml);
  return out.str();
}

TEST(XmlReadbackTest, DocumentsAreWellFormedInEveryLayout) {
  for (int style : {Indent::Flat, Indent::Lines, Indent::Pretty}) {
    std::string const text = write_document(style);
    Doc doc = parse(text);
    ASSERT_TRUE(doc) << text;
    xmlNode* root = xmlDocGetRootElement(doc.get());
    ASSERT_NE(root, nullptr);
    EXPECT_STREQ(reinterpret_cast<char const*>(root->name), "Root");
    EXPECT_EQ(attribute(root, "value"), tricky);
    EXPECT_EQ(attribute(root, "n"), "42");
    int items = 0;
    for (xmlNode* item = first_element(root->children); item; item = first_element(item->next)) {
      EXPECT_STREQ(reinterpret_cast<char const*>(item->name), "Item");
      EXPECT_EQ(attribute(item, "i"), std::to_string(items));
      ASSERT_NE(first_element(item->children), nullptr);
      ++items;
    }
    EXPECT_EQ(items, 3);
  }
}

TEST(XmlReadbackTest, FlatTextRoundTripsUnchanged) {
  // Only the Flat layout adds no line breaks around a text run.
  std::string const text = write_document(Indent::Flat);
  Doc doc = parse(text);
  ASSERT_TRUE(doc);
  xmlNode* item = first_element(xmlDocGetRootElement(doc.get())->children);
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(first_text(item), tricky);
}

TEST(XmlReadbackTest, LinesTextIsTheMessageBetweenLineBreaks) {
  std::string const text = write_document(Indent::Lines);
  Doc doc = parse(text);
  ASSERT_TRUE(doc);
  xmlNode* item = first_element(xmlDocGetRootElement(doc.get())->children);
  ASSERT_NE(item, nullptr);
  // ">" ends the start tag with a line break; the run ends with one.
  EXPECT_EQ(first_text(item), "\n" + tricky + "\n");
}

}  // namespace
