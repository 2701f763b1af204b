// Fuzz target: the XML writer driven by random operation sequences.
//
// The bytes are a program: each byte picks an operation (open or close an
// element, start an attribute or a text run, open a comment or CDATA
// section, insert data), and the bytes after it give the operation's
// argument. Every misuse must throw a ZelTools::Xml exception and leave the
// writer usable, so the program goes on after a failure. When the program
// ends, every open element and section is closed; if a root element was
// written, the document must be accepted by libxml2.
//
// Attribute values and text runs take any bytes: control characters and
// ill-formed UTF-8 included, inserted whole or through the data stream one
// byte at a time (a UTF-8 sequence then arrives in pieces); the document
// must still be well-formed. Comments and CDATA sections, whose content the
// writer passes through raw by design, get ASCII without the control
// characters, and without "-" in comments and "]" in CDATA.
#include <libxml/parser.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "zeltools/xml/Xml.h"

namespace {

using ZelTools::Xml::Indent;
using ZelTools::Xml::Section;
using ZelTools::Xml::Tag;
using ZelTools::Xml::XmlOstream;

// The bytes still to be read.
struct Input {
  const std::uint8_t* at;
  const std::uint8_t* end;
  bool empty() const { return at == end; }
  std::uint8_t next() { return empty() ? 0 : *at++; }
  // A length-prefixed piece of at most 15 bytes.
  std::string piece() {
    std::string result;
    for (std::size_t n = next() % 16; n > 0 && !empty(); --n) result += static_cast<char>(next());
    return result;
  }
};

enum class Scope { TagScope, Comment, CData };

// Elements and sections are scoped objects: they are closed in the reverse
// order of their opening, so one stack holds both.
struct Scoped {
  Scope kind;
  std::unique_ptr<Tag> tag;
  std::unique_ptr<Section> section;
};

bool allowed_in(Scope where, char c) {
  if (where == Scope::TagScope) return true;
  const unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80) return false;
  if (u < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  if (where == Scope::Comment && c == '-') return false;
  if (where == Scope::CData && c == ']') return false;
  return true;
}

std::string data_for(Scope where, const std::string& raw) {
  std::string result;
  for (char c : raw)
    if (allowed_in(where, c)) result += c;
  return result;
}

class Program {
 public:
  explicit Program(Input input, int style) : input_(input), xml_(out_, Indent(style)) {
    xml_.check_identifiers = true;
  }

  // Runs every operation, then closes what is open; true when a root
  // element was written.
  bool run() {
    while (!input_.empty()) {
      try {
        step(input_.next());
      } catch (const ZelTools::Xml::Exception&) {
        // Misuse is reported and leaves the writer as it was.
      }
    }
    while (!open_.empty()) open_.pop_back();
    return root_written_;
  }

  std::string document() const { return out_.str(); }

 private:
  Scope innermost() const { return open_.empty() ? Scope::TagScope : open_.back().kind; }

  void step(std::uint8_t op) {
    switch (op % 10) {
      case 0:
        open_tag();
        break;
      case 1:
        if (!open_.empty()) open_.pop_back();
        break;
      case 2: {
        const std::string name = input_.piece();
        xml_.current_tag().attribute(name.c_str());
        break;
      }
      case 3:
        xml_.text();
        break;
      case 4:
        xml_ << data_for(innermost(), input_.piece());
        break;
      case 5:
        open_section(Scope::Comment);
        break;
      case 6:
        open_section(Scope::CData);
        break;
      case 7:
        xml_ << static_cast<int>(static_cast<std::int8_t>(input_.next())) * 1000;
        break;
      case 8:
        xml_ << static_cast<unsigned long>(input_.next());
        break;
      case 9:
        for (char c : data_for(innermost(), input_.piece())) xml_.data()->put(c);
        break;
    }
  }

  void open_tag() {
    const std::string name = input_.piece();
    Scoped scoped{Scope::TagScope, std::make_unique<Tag>(xml_, name), nullptr};
    open_.push_back(std::move(scoped));
    root_written_ = true;
  }

  void open_section(Scope kind) {
    Scoped scoped{kind, nullptr, std::make_unique<Section>(xml_, kind == Scope::CData)};
    open_.push_back(std::move(scoped));
  }

  Input input_;
  std::ostringstream out_;
  XmlOstream xml_;
  std::vector<Scoped> open_;
  bool root_written_ = false;
};

bool well_formed(const std::string& document) {
  xmlDocPtr doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "fuzz.xml",
                                nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  xmlFreeDoc(doc);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  Input input{data, data + size};
  const int style = input.next() % 4;  // Flat, Lines, Pretty, and one that acts as Flat
  Program program(input, style);
  if (program.run() && !well_formed(program.document())) std::abort();
  return 0;
}
