// ZelTools::Xml: a streaming XML writer.
//
// A document is written in one pass, strictly in order, onto a std::ostream
// that the writer does not own. Constructing an XmlOstream writes the
// declaration; a Tag is one element for the life of the object (constructed
// opens it, destroyed closes it, so nesting follows the caller's scopes); a
// Section is a comment or CDATA section for its life. Attribute values, text
// and section contents are written by insertion into the writer, which
// escapes them according to where they stand:
//
//   XmlOstream xml(out, Indent(Indent::Lines));
//   {
//     Tag r(xml, "R");
//     xml.current_tag().attribute("a");  xml << 1;
//     { Tag c(xml, "C"); }
//     xml.text();  xml << "hi";
//   }
//
// writes, one item a line with the Lines layout:
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <R
//   a="1">
//   <C/>
//   hi
//   </R>
//
// Pretty indents the attribute, child and text lines by two spaces per level
// (never more than 40 columns); Flat writes
//   <?xml version="1.0" encoding="UTF-8"?><R a="1"><C/>hi</R>
//
// Each open element carries a small state machine (Start, InAttribute,
// InText, InSub) that decides which markup must come before the next item and
// rejects out-of-order use with Error before writing anything.
//
// Lifetime and locking: the owner creates the writer, then its tags and
// sections, and destroys them in the reverse order; the writer's destruction
// writes nothing. A writer and its tags hold no lock: one thread at a time
// uses them (the XML log file does so under its destination's message lock).
#ifndef VANTREL_ZELTOOLS_XML_XML_H
#define VANTREL_ZELTOOLS_XML_XML_H

#include <cstddef>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <ostream>
#include <streambuf>
#include <string>
#include <utility>

#include <ZelTools/Portable.h>
#include "zeltools/portable/ShortText.h"

namespace ZelTools {
namespace Xml {

// ---------------------------------------------------------------------------
// Exceptions. Thrown by value; print writes the texts shown.

// print: "ZelTools::Xml::Exception"
struct Exception : ZelTools::Exception {
  std::ostream& print(std::ostream& os) const override;
};

// print: "ZelTools::Xml::Error: " + message. The message is a static text and
// is not copied.
struct Error : Exception {
  explicit Error(char const* message) : message(message) {}
  std::ostream& print(std::ostream& os) const override;
  char const* message;
};

// print: "ZelTools::Xml::InvalidIdentifier: '" + name + "'"
struct InvalidIdentifier : Exception {
  explicit InvalidIdentifier(std::string name) : name(std::move(name)) {}
  std::ostream& print(std::ostream& os) const override;
  std::string name;
};

// print: "ZelTools::Xml::MultiplyDefined: '" + name + "'"
struct MultiplyDefined : Exception {
  explicit MultiplyDefined(std::string name) : name(std::move(name)) {}
  std::ostream& print(std::ostream& os) const override;
  std::string name;
};

// True when `name` may be used as an element or attribute name: non-empty,
// starting with an ASCII letter or '_', then ASCII letters, digits, '_', '-'
// or '.'. Bytes 0x80..0xFF and ':' are refused; the test ignores the locale.
bool is_identifier(std::string const& name);

// out.put(c) without its sentry: markup and escaped data go out a character
// at a time, and a sentry per character was most of their cost. The same
// results for the writer's streams (which have no tied stream): nothing is
// written and badbit is set on a failed stream, badbit is set when the
// buffer refuses the character.
inline void put_char(std::ostream& out, char c) {
  using traits = std::ostream::traits_type;
  if (out.good() && !traits::eq_int_type(out.rdbuf()->sputc(c), traits::eof())) return;
  out.setstate(std::ios_base::badbit);
}

// put_char for a run of characters, with the same results. Markup and
// values come in short pieces: those go a character at a time through the
// buffer's inline sputc, longer runs in one sputn.
inline void put_text(std::ostream& out, char const* text, std::size_t length) {
  using traits = std::ostream::traits_type;
  constexpr std::size_t short_run = 16;
  if (!out.good()) {
    out.setstate(std::ios_base::badbit);
    return;
  }
  std::streambuf& buffer = *out.rdbuf();
  if (length > short_run) {
    auto const count = static_cast<std::streamsize>(length);
    if (buffer.sputn(text, count) != count) out.setstate(std::ios_base::badbit);
    return;
  }
  for (std::size_t i = 0; i < length; ++i) {
    if (traits::eq_int_type(buffer.sputc(text[i]), traits::eof())) {
      out.setstate(std::ios_base::badbit);
      return;
    }
  }
}

// The decimal digits of an integer, as a std::ostream with default
// formatting in the classic locale prints it:
//   0 => "0", 4096 => "4096", -42 => "-42",
//   18446744073709551615ULL => "18446744073709551615".
class DecimalText {
 public:
  explicit DecimalText(unsigned long long value) { fill(value); }
  explicit DecimalText(long long value) {
    // Negating through unsigned keeps the most negative value exact.
    unsigned long long const magnitude = value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                                   : static_cast<unsigned long long>(value);
    fill(magnitude);
    if (value < 0) digits[--first] = '-';
  }

  char const* data() const { return digits + first; }
  std::size_t size() const { return sizeof digits - first; }

 private:
  void fill(unsigned long long value) {
    first = static_cast<std::size_t>(
        ZelTools::Portable::decimal_digits(value, digits + sizeof digits) - digits);
  }

  // 20 digits hold the largest unsigned value, or a sign and 19 digits.
  char digits[20];
  std::size_t first = sizeof digits;  // index of the first character
};

// Writes text[0, length) into `out` escaped as an attribute value (`quote`
// true) or as text content (`quote` false); see RawXmlOstream for the table.
// Runs of characters that need no escaping go out in one piece.
void write_escaped(std::ostream& out, char const* text, std::size_t length, bool quote);

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
  void emit_escaped(char const* text, std::size_t length, bool quote);
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

// ---------------------------------------------------------------------------
// Unbuffered stream buffers that hand every character to escape(), and
// every run of characters to escape_run().
class EscapingOstreambuf : public std::streambuf {
 protected:
  virtual void escape(char c) = 0;
  // Escapes s[0, n); by default one escape() per character.
  virtual void escape_run(char const* s, std::streamsize n);
  int_type overflow(int_type c) override;
  std::streamsize xsputn(char const* s, std::streamsize n) override;
};

// A std::ostream that is its own (escaping) stream buffer B.
template <class B>
class EscapingOstream : public B, public std::ostream {
 public:
  explicit EscapingOstream(std::ostream& target) : B(target), std::ostream(static_cast<B*>(this)) {}
};

// A std::ostream writing straight into the target's stream buffer, with its
// own default formatting state.
class NoEscapingOstream : public std::ostream {
 public:
  explicit NoEscapingOstream(std::ostream& target) : std::ostream(target.rdbuf()) {}
};

// The escaping layer: attribute values and text are escaped; sections stay
// raw.
//
//   byte                  attribute value   text
//   "                     &quot;            "
//   &  <  >               &amp; &lt; &gt;   &amp; &lt; &gt;
//   0x00..0x1F, 0x7F      &#<decimal>;      &#<decimal>;
//   other (' and >=0x80)  unchanged         unchanged
class RawXmlOstream : public Ostream {
 public:
  class XmlBuf : public EscapingOstreambuf {
   public:
    explicit XmlBuf(std::ostream& target) : target(target) {}

   protected:
    int sync() override;
    std::ostream& target;
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

// ---------------------------------------------------------------------------
// One open element, from construction to destruction.
//
// Created by the writer's user, as a child of the current element or as the
// document's root; destroyed by the same user, innermost first, before the
// writer. Its counters count finished periods: the start tag is still open
// exactly while `subs` and `texts` are both 0.
//
//   Start --attribute--> InAttribute --attribute--> InAttribute
//   any --text--> InText     any --child or section--> InSub
//   any --destruction--> closed
class Tag {
 public:
  // Opens element `name`. Throws Error "multi root tree" for a second root,
  // Error when a section is open, InvalidIdentifier when names are checked.
  Tag(Ostream& stream, std::string const& name);
  Tag(Ostream& stream, char const* name);
  // Closes the element; never throws.
  ~Tag();
  Tag(Tag const&) = delete;
  Tag& operator=(Tag const&) = delete;

  // Starts attribute `attribute_name`; its value is then inserted into the
  // writer. Throws Error after text or a child, MultiplyDefined for a
  // repeated name when names are checked.
  void attribute(char const* const& attribute_name);

  std::string const& tag_name() const { return name; }
  Tag* parent_tag() const { return parent; }
  int attributes_done() const { return attributes; }
  int subs_done() const { return subs; }
  int texts_done() const { return texts; }
  Indent const& tag_indent() const { return indent; }

  struct State {
    virtual ~State() = default;
    virtual bool accepts_attribute() const { return false; }
    virtual void leave(Tag& tag) = 0;
  };
  struct InAttribute : State {
    bool accepts_attribute() const override { return true; }
    void leave(Tag& tag) override;
  };
  struct InText : State {
    void leave(Tag& tag) override;
  };
  struct InSub : State {
    void leave(Tag& tag) override;
  };

 private:
  friend class Ostream;
  friend class Section;

  // The work of the constructors once the name is copied.
  void open();
  // Leaves the current state (running its leave) and enters `next`, which
  // may be null for "closed".
  void change_state(State* next);
  // Moves the element to InSub and lets the writer close its start tag, as
  // the opening of a child element or section requires.
  void enter_sub();
  // The work of leaving each state: close what was open and count it.
  void end_attribute();
  void end_text();
  void end_sub();

  std::string name;
  Tag* parent = nullptr;
  int attributes = 0;
  int subs = 0;
  int texts = 0;
  InAttribute in_attribute;
  InText in_text;
  InSub in_sub;
  Ostream& stream;
  State* state = nullptr;  // null is Start (and closed)
  std::map<std::string, int> attribute_names;
  Indent indent;
};

// ---------------------------------------------------------------------------
// One open comment (cdata false) or CDATA section, from construction to
// destruction, inside the current element. Created and destroyed by the
// writer's user while no other section is open. Its content is written raw:
// "--" or "]]>" inside it is not checked.
class Section {
 public:
  // Throws Error when no element is open or a section is already open.
  Section(Ostream& stream, bool cdata);
  // Closes the section; never throws.
  ~Section();
  Section(Section const&) = delete;
  Section& operator=(Section const&) = delete;

  Indent const& section_indent() const { return indent; }

 private:
  Ostream& stream;
  bool cdata;
  Indent indent;
};

// ---------------------------------------------------------------------------

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

#endif
