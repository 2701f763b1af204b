// The element and section objects that drive the writer.
#include "zeltools/xml/Tag.h"

#include <algorithm>
#include <locale>

#include "zeltools/xml/Section.h"

namespace ZelTools {
namespace Xml {

namespace {

// A fresh stream formats integers in the global locale, which may group
// digits: only the classic one is known to print plain digits. Both sides
// are the classic locale's own object in the usual case, so this is a
// pointer comparison.
bool global_locale_is_classic() { return std::locale() == std::locale::classic(); }

}  // namespace

// ---------------------------------------------------------------------------
// Tag

Tag::Tag(Ostream& stream, std::string const& name) : name(name), stream(stream) { open(); }

Tag::Tag(Ostream& stream, char const* name) : name(name ? name : ""), stream(stream) { open(); }

void Tag::open() {
  if (!stream.tags.empty()) {
    parent = &stream.current_tag();
    parent->enter_sub();
  }
  indent = parent ? stream.context_indent().deeper() : stream.indent;
  if (!parent && stream.root_done) throw Error("multi root tree");
  stream.root_done = true;
  if (stream.check_identifiers && !is_identifier(name)) throw InvalidIdentifier(name);
  // Once per element at the top of the document (each record of a log
  // file), rather than once per integer.
  if (stream.tags.size() <= 1) stream.plain_digits = global_locale_is_classic();
  stream.tags.push_back(this);
  stream.open_start_tag();
}

Tag::~Tag() {
  // Closing writes only to the target stream, whose errors show in its state;
  // anything else thrown here must not leave the destructor.
  try {
    change_state(nullptr);
    stream.close_tag();
  } catch (...) {
  }
  std::deque<Tag*>& tags = stream.tags;
  if (!tags.empty() && tags.back() == this) {
    tags.pop_back();
  } else {
    // Destroyed out of order: forget this element all the same.
    tags.erase(std::remove(tags.begin(), tags.end(), this), tags.end());
  }
  if (!attribute_names.empty()) attribute_names.clear();
  try {
    stream.item_closed();
  } catch (...) {
  }
}

void Tag::attribute(char const* const& attribute_name) {
  char const* const checked_name = attribute_name ? attribute_name : "";
  if (stream.check_identifiers) {
    std::string const key = checked_name;
    if (!is_identifier(key)) throw InvalidIdentifier(key);
    if (attribute_names[key]++ != 0) throw MultiplyDefined(key);
  }
  if (state && !state->accepts_attribute()) {
    throw Error("Tag must be in Start or in Attribute to insert Attribute");
  }
  change_state(&in_attribute);
  stream.open_attribute(checked_name);
  stream.open_data(Ostream::DataKind::Attribute);
  stream.in_data = true;
}

void Tag::change_state(State* next) {
  if (state) {
    State* const left = state;
    state = nullptr;
    left->leave(*this);
  }
  state = next;
}

void Tag::enter_sub() {
  change_state(&in_sub);
  stream.open_sub();
}

void Tag::end_attribute() {
  stream.destroy_data_stream();
  stream.finish_data();
  stream.close_attribute();
  stream.in_data = false;
  ++attributes;
}

void Tag::end_text() {
  stream.destroy_data_stream();
  stream.finish_data();
  stream.close_text();
  stream.in_data = false;
  ++texts;
}

void Tag::end_sub() {
  stream.close_sub();
  ++subs;
}

void Tag::InAttribute::leave(Tag& tag) { tag.end_attribute(); }
void Tag::InText::leave(Tag& tag) { tag.end_text(); }
void Tag::InSub::leave(Tag& tag) { tag.end_sub(); }

// ---------------------------------------------------------------------------
// Section

Section::Section(Ostream& stream, bool cdata) : stream(stream), cdata(cdata) {
  Tag* const tag = stream.tags.empty() ? nullptr : &stream.current_tag();
  if (tag) {
    tag->enter_sub();
    indent = tag->indent.deeper();
  }
  if (stream.section || !tag) {
    throw Error("Ostream tags stack should not be empty to open a Comment or CData section");
  }
  stream.section = this;
  try {
    if (cdata) {
      stream.open_cdata();
      stream.open_data(Ostream::DataKind::CData);
    } else {
      stream.open_comment();
      stream.open_data(Ostream::DataKind::Comment);
    }
  } catch (...) {
    stream.section = nullptr;
    throw;
  }
}

Section::~Section() {
  try {
    stream.destroy_data_stream();
    if (cdata) {
      stream.close_cdata();
    } else {
      stream.close_comment();
    }
    stream.item_closed();
  } catch (...) {
  }
  if (stream.section == this) stream.section = nullptr;
}

}  // namespace Xml
}  // namespace ZelTools
