// The XML writer: the writer's state, the markup of XmlOstream, and the
// element and section objects that drive them.
#include "zeltools/xml/Xml.h"

#include <algorithm>
#include <cstring>
#include <locale>

namespace ZelTools {
namespace Xml {

namespace {

// Deeper markup is still indented, but never by more than this many columns.
constexpr long long max_indent_columns = 40;

}  // namespace

// ---------------------------------------------------------------------------
// Ostream

Ostream::Ostream(std::ostream& out, Indent const& indent) : out(out), indent(indent) {}

Ostream::~Ostream() {
  // Only output that a misuse left behind (an element never closed) can be
  // pending here; the target's errors show in its state.
  try {
    flush_pending();
  } catch (...) {
  }
  release_data_stream();
}

Tag& Ostream::current_tag() {
  if (tags.empty() || section) {
    throw Error("Ostream state must be in Tag and tags stack non-empty to use current tag");
  }
  return *tags.back();
}

void Ostream::check_data() const {
  if ((!in_data && !section) || kind == DataKind::None) {
    throw Error("Must be in Attribute, Text, Comment or CData to insert data");
  }
}

std::ostream* Ostream::data() {
  check_data();
  // The stream writes to `out` directly: what the writer holds goes first.
  flush_pending();
  if (!data_stream) make_kind_stream();
  return data_stream;
}

std::ostream* Ostream::make_kind_stream() {
  switch (kind) {
    case DataKind::Attribute:
      return attribute_stream();
    case DataKind::Text:
      return text_stream();
    case DataKind::CData:
      return cdata_stream();
    case DataKind::Comment:
      return comment_stream();
    case DataKind::None:
      break;
  }
  return nullptr;
}

void Ostream::text() {
  Tag& tag = current_tag();
  tag.change_state(&tag.in_text);
  open_text();
  open_data(DataKind::Text);
  in_data = true;
}

namespace {

// A fresh stream formats integers in the global locale, which may group
// digits: only the classic one is known to print plain digits. Both sides
// are the classic locale's own object in the usual case, so this is a
// pointer comparison.
bool global_locale_is_classic() { return std::locale() == std::locale::classic(); }

}  // namespace

void Ostream::operator<<(char const* text) {
  check_data();
  if (data_stream || text == nullptr) {
    *data() << text;  // a null text sets the stream's badbit, as ever
    return;
  }
  put_data(text, std::strlen(text));
}

void Ostream::operator<<(std::string const& text) {
  check_data();
  if (data_stream) {
    *data_stream << text;
    return;
  }
  put_data(text.data(), text.size());
}

template <class Integer>
void Ostream::put_digits(Integer value) {
  check_data();
  if (data_stream || !plain_digits) {
    *data() << value;
    return;
  }
  // Digits and the sign need no escaping in any kind of item.
  DecimalText const digits(value);
  emit(digits.data(), digits.size());
}

void Ostream::put_integer(long long value) { put_digits(value); }

void Ostream::put_integer(unsigned long long value) { put_digits(value); }

void Ostream::put_data(char const* text, std::size_t length) { emit(text, length); }

void Ostream::emit_long(char const* text, std::size_t length) {
  flush_pending();
  if (length <= sizeof pending) {
    emit(text, length);
  } else {
    put_text(out, text, length);
  }
}

void Ostream::item_closed() {
  if (tags.size() <= 1) flush_pending();
}

void Ostream::flush_pending() {
  if (pending_size == 0) return;
  std::size_t const size = pending_size;
  pending_size = 0;
  put_text(out, pending, size);
}

std::ostream* Ostream::attribute_stream() { return make_data_stream<NoEscapingOstream>(out); }
std::ostream* Ostream::text_stream() { return make_data_stream<NoEscapingOstream>(out); }
std::ostream* Ostream::cdata_stream() { return make_data_stream<NoEscapingOstream>(out); }
std::ostream* Ostream::comment_stream() { return make_data_stream<NoEscapingOstream>(out); }

void Ostream::open_data(DataKind next) noexcept {
  data_stream = nullptr;
  kind = next;
}

void Ostream::destroy_data_stream() noexcept {
  data_stream = nullptr;
  kind = DataKind::None;
}

void Ostream::release_data_stream() noexcept {
  data_stream = nullptr;
  if (!kept_stream) return;
  destroy_data(kept_stream);
  kept_stream = nullptr;
  destroy_data = nullptr;
  kept_own_buffer = nullptr;
  kept_target_buffer = nullptr;
}

bool Ostream::reset_for_reuse(std::ostream& stream) {
  // A fresh stream takes the global locale of its time of making.
  if (!(stream.getloc() == std::locale())) return false;
  // Each of these setters re-checks the state out of line: only when needed.
  if (stream.rdstate() != std::ios_base::goodbit) stream.clear();
  if (stream.exceptions() != std::ios_base::goodbit) stream.exceptions(std::ios_base::goodbit);
  stream.flags(std::ios_base::skipws | std::ios_base::dec);
  stream.width(0);
  stream.precision(6);
  stream.fill(' ');
  stream.tie(nullptr);
  return true;
}

void Ostream::reserve_buffer(std::size_t bytes) {
  if (bytes <= buffer_size) return;
  std::size_t const cells = (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t);
  buffer.reset(new std::max_align_t[cells]);
  buffer_size = cells * sizeof(std::max_align_t);
}

void Ostream::write_context_indent(int deeper) {
  // Every context carries the document's step: without a step there is no
  // indentation to look up.
  if (indent.step == 0) return;
  Indent at = context_indent();
  at.level += deeper;
  write_indent(at);
}

void Ostream::emit_c_string(char const* text) {
  std::size_t size = pending_size;  // kept out of memory while copying
  for (; *text != '\0'; ++text) {
    if (size == sizeof pending) {
      pending_size = size;
      flush_pending();
      size = 0;
    }
    pending[size++] = *text;
  }
  pending_size = size;
}

Indent const& Ostream::context_indent() const {
  if (section) return section->section_indent();
  if (!tags.empty()) return tags.back()->indent;
  return indent;
}

void Ostream::write_fill(Indent const& at) {
  long long const columns = static_cast<long long>(at.level) * at.step;
  if (columns <= 0) return;
  char const fill = out.fill();
  for (long long i = 0; i < std::min(columns, max_indent_columns); ++i) emit(fill);
}

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
  stream.close_attribute();
  stream.in_data = false;
  ++attributes;
}

void Tag::end_text() {
  stream.destroy_data_stream();
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
