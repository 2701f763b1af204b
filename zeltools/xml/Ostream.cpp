// The root of the XML writer: the document state, the items, the data
// streams and the pending output.
#include "zeltools/xml/Ostream.h"

#include <algorithm>
#include <cstring>

#include "zeltools/xml/Section.h"
#include "zeltools/xml/Tag.h"

namespace ZelTools {
namespace Xml {

namespace {

// Deeper markup is still indented, but never by more than this many columns.
constexpr long long max_indent_columns = 40;

}  // namespace

Indent::Indent(int style) {
  if (style == Lines || style == Pretty) newline = true;
  if (style == Pretty) step = 2;
}

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

}  // namespace Xml
}  // namespace ZelTools
