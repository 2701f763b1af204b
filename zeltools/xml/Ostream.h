// Ostream: the root of the XML writer, its layout (Indent) and the state of
// one document: open elements and section, the item being written, the
// stream of its data kind and the output not yet handed to the target.
#ifndef VANTREL_ZELTOOLS_XML_OSTREAM_H
#define VANTREL_ZELTOOLS_XML_OSTREAM_H

#include <cstddef>
#include <cstring>
#include <deque>
#include <memory>
#include <new>
#include <ostream>
#include <string>
#include <utility>

#include "zeltools/xml/Errors.h"
#include "zeltools/xml/Escaping.h"

namespace ZelTools {
namespace Xml {

// ---------------------------------------------------------------------------
// Layout of a document or of one nesting context.
//
//   style       step  newline   output
//   Flat   (0)   0     no       everything on one line
//   Lines  (1)   0     yes      one item a line, no indentation
//   Pretty (2)   2     yes      one item a line, two spaces per level
//   other        as Flat
//
// Only the writer's own copy decides line breaks; the copies held by tags and
// sections carry their nesting level and step.
struct Indent {
  enum Style { Flat = 0, Lines = 1, Pretty = 2 };

  explicit Indent(int style = Flat);
  // The same layout one level deeper.
  Indent deeper() const {
    Indent result = *this;
    ++result.level;
    return result;
  }

  int level = 0;
  int step = 0;
  bool newline = false;
};

class Tag;
class Section;

// ---------------------------------------------------------------------------
// The root writer. By itself it writes no markup: its stream factories give
// unescaped streams and its markup operations do nothing, so a plain Ostream
// passes only the data to its target. RawXmlOstream adds escaping and
// XmlOstream the markup.
class Ostream {
 public:
  Ostream(std::ostream& out, Indent const& indent);
  virtual ~Ostream();
  Ostream(Ostream const&) = delete;
  Ostream& operator=(Ostream const&) = delete;

  // The innermost open element. Throws Error when no element is open or a
  // section is open.
  Tag& current_tag();
  // The stream that the next inserted value goes to. Throws Error unless an
  // attribute value, a text run or a section is open.
  std::ostream* data();
  // Starts a text run in the current element (closing any open attribute
  // value or previous text run).
  void text();

  // Writes `value` with its type's standard formatting into data().
  template <class T>
  void operator<<(T const& value) {
    *data() << value;
  }
  // The same for the types the writer's users insert most. While nobody
  // holds the data stream (data() was not called for the open item), the
  // value goes straight to the target with the escaping of its item, with no
  // stream made for it; the bytes are those the fresh data stream would give
  // (integers: see plain_digits).
  void operator<<(char const* text);
  // Character arrays (literals) as C strings: the general template would
  // otherwise be the better match for them.
  template <std::size_t N>
  void operator<<(char const (&text)[N]) {
    *this << static_cast<char const*>(text);
  }
  template <std::size_t N>
  void operator<<(char (&text)[N]) {
    *this << static_cast<char const*>(text);
  }
  void operator<<(std::string const& text);
  void operator<<(int value) { put_integer(static_cast<long long>(value)); }
  void operator<<(long value) { put_integer(static_cast<long long>(value)); }
  void operator<<(long long value) { put_integer(value); }
  void operator<<(unsigned value) { put_integer(static_cast<unsigned long long>(value)); }
  void operator<<(unsigned long value) { put_integer(static_cast<unsigned long long>(value)); }
  void operator<<(unsigned long long value) { put_integer(value); }

  // When set, element and attribute names are validated and an attribute name
  // repeated on one element is refused. Off unless the user sets it.
  bool check_identifiers = false;

 protected:
  // What the open data item is; the writer makes its stream only when data()
  // asks for it.
  enum class DataKind { None, Attribute, Text, CData, Comment };

  // Data stream factories: each ends the current data stream, makes one for
  // its kind of item in `buffer`, makes it the data stream and returns it.
  // data() calls the one of the open item's kind.
  virtual std::ostream* attribute_stream();
  virtual std::ostream* text_stream();
  virtual std::ostream* cdata_stream();
  virtual std::ostream* comment_stream();

  // Markup hooks, called at each step of the element state machine.
  virtual void open_start_tag() {}
  virtual void close_tag() {}
  virtual void open_attribute(char const* const& /*name*/) {}
  virtual void close_attribute() {}
  virtual void open_text() {}
  virtual void close_text() {}
  virtual void open_sub() {}
  virtual void close_sub() {}
  virtual void open_cdata() {}
  virtual void close_cdata() {}
  virtual void open_comment() {}
  virtual void close_comment() {}
  // Writes `length` formatted bytes of the open item to the target as its
  // data stream would: here unescaped, straight into the target's buffer.
  virtual void put_data(char const* text, std::size_t length);

  // Makes a stream of type S in `buffer` after ending the previous one, and
  // records how to destroy it. A stream of type S that the buffer still
  // holds from an earlier item is reset to a fresh stream's state and used
  // again, as long as it carries the current global locale: making a
  // std::ostream (its locale caches) costs far more than the item it writes.
  template <class S, class... Args>
  std::ostream* make_data_stream(Args&&... args);
  // Ends the current data item: its stream, if one was made, stays in
  // `buffer` unused (and unreachable through data()) until the next is made.
  void destroy_data_stream() noexcept;
  // Opens a data item of `kind`; its stream is made on demand by data().
  void open_data(DataKind kind) noexcept;
  DataKind data_kind() const { return kind; }

  // The layout that markup is indented by: the open section's, else the
  // current element's, else the document's.
  Indent const& context_indent() const;
  // The indentation of the context, `deeper` levels further in.
  void write_context_indent(int deeper);
  // Writes min(level * step, 40) fill characters of `out`.
  void write_indent(Indent const& at) {
    if (at.step != 0 && at.level != 0) write_fill(at);
  }
  void write_newline() {
    if (indent.newline) emit('\n');
  }

  // The writer's own output (markup, and values inserted while no data
  // stream was handed out) is gathered in `pending` and handed to `out` in
  // one piece: after the declaration, before a data stream is handed out,
  // when an element or section closes with at most the root element left
  // open (so a closed child of the root, and the whole document, are in
  // `out`), and when the area is full. A record of the XML log file thus
  // reaches its file in two sputn calls rather than one per piece.
  void emit(char c) {
    if (pending_size == sizeof pending) flush_pending();
    pending[pending_size++] = c;
  }
  void emit(char const* text, std::size_t length) {
    if (length > sizeof pending - pending_size) return emit_long(text, length);
    ZelTools::Portable::copy_short(pending + pending_size, text, length);
    pending_size += length;
  }
  // A short null-terminated text (a name): a character at a time, which
  // costs less than measuring it and copying it.
  void emit_c_string(char const* text);
  template <std::size_t N>
  void emit_literal(char const (&text)[N]) {
    emit(text, N - 1);
  }
  // Emits text[0, length) escaped as an attribute value (`quote` true) or as
  // text content; see write_escaped.
  void emit_escaped(char const* text, std::size_t length, bool quote, Utf8Tail& tail);
  // Called as an attribute value or text run ends, before its closing markup.
  virtual void finish_data() {}
  // Hands what `pending` holds to `out`, as put_text does.
  void flush_pending();
  // An element or section has closed: flushes when at most the root is open.
  void item_closed();
  // The innermost open element, or null.
  Tag* top_tag() const { return tags.empty() ? nullptr : tags.back(); }

  std::ostream& out;
  Indent const indent;

 private:
  friend class Tag;
  friend class Section;

  void reserve_buffer(std::size_t bytes);
  // The fill characters of a non-empty indentation.
  void write_fill(Indent const& at);
  // emit() of a text longer than the room left in `pending`.
  void emit_long(char const* text, std::size_t length);
  // Throws Error unless an attribute value, a text run or a section is open.
  void check_data() const;
  // Writes an integer of the open item, see operator<<.
  void put_integer(long long value);
  void put_integer(unsigned long long value);
  template <class Integer>
  void put_digits(Integer value);
  // The stream of the open item's kind, made by its factory.
  std::ostream* make_kind_stream();
  // Destroys the stream kept in `buffer`, if any.
  void release_data_stream() noexcept;
  // Readies a kept stream for reuse as a fresh one; false when it must be
  // made anew (its locale is no longer the global one).
  static bool reset_for_reuse(std::ostream& stream);
  template <class S>
  static void destroy_as(std::ostream* stream) noexcept {
    static_cast<S*>(stream)->~S();
  }

  // The writer's state belongs to the one thread using it at a time; no lock
  // guards it (the XML log file holds its destination's message lock).
  std::deque<Tag*> tags;       // open elements, innermost last; not owned
  bool root_done = false;      // set when the root element has been opened
  Section* section = nullptr;  // the open comment or CDATA section, if any
  bool in_data = false;        // an attribute value or text run is open

  DataKind kind = DataKind::None;  // the open data item, None between items
  // The open item's stream once data() has made it, else null.
  std::ostream* data_stream = nullptr;
  // The stream living in `buffer` (the open item's or a kept earlier one),
  // or null, and the function that destroys it.
  std::ostream* kept_stream = nullptr;
  void (*destroy_data)(std::ostream*) noexcept = nullptr;
  // The stream buffers that the kept stream and `out` used when it was made:
  // it is reused only while both are unchanged.
  std::streambuf* kept_own_buffer = nullptr;
  std::streambuf* kept_target_buffer = nullptr;
  std::unique_ptr<std::max_align_t[]> buffer;  // kept for reuse
  std::size_t buffer_size = 0;                 // bytes in `buffer`

  // Integers are written as plain digits: the global locale was the classic
  // one when the element at the top of the document opened (a fresh stream
  // of another locale may group them). Refreshed as such elements open.
  bool plain_digits = false;

  char pending[512];             // output not yet handed to `out`
  std::size_t pending_size = 0;  // bytes used in `pending`
};

template <class S, class... Args>
std::ostream* Ostream::make_data_stream(Args&&... args) {
  static_assert(alignof(S) <= alignof(std::max_align_t), "buffer alignment");
  data_stream = nullptr;
  // Every stream of the writer targets `out`, so a kept S is the one that a
  // new S(args) would be, once its state is reset.
  if (kept_stream && destroy_data == &destroy_as<S> && kept_stream->rdbuf() == kept_own_buffer &&
      out.rdbuf() == kept_target_buffer && reset_for_reuse(*kept_stream)) {
    data_stream = kept_stream;
    return data_stream;
  }
  release_data_stream();
  reserve_buffer(sizeof(S));
  S* made = new (static_cast<void*>(buffer.get())) S(std::forward<Args>(args)...);
  kept_stream = made;
  destroy_data = &destroy_as<S>;
  kept_own_buffer = made->rdbuf();
  kept_target_buffer = out.rdbuf();
  data_stream = made;
  return made;
}

}  // namespace Xml
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_XML_OSTREAM_H
