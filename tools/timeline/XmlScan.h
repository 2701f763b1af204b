// A strict scanner for the XML the log writer produces, used by the XML log
// reader ahead of expat because it is several times faster on that shape.
//
// It knows elements, attributes in double or single quotes, character data,
// the five named entities, character references and UTF-8 text; it reads one
// element with everything inside it, and only when all of it is well-formed
// does it keep the element's events for the caller to replay. Anything else
// (a comment, CDATA, a processing instruction, a carriage return, a non-ASCII
// name, a damaged byte, a mismatched tag) is Foreign: the reader then gives
// those bytes to expat, so what the XML means and what an error says are
// always decided by the full parser. Single-threaded, no lock.
#ifndef VANTREL_TOOLS_TIMELINE_XML_SCAN_H
#define VANTREL_TOOLS_TIMELINE_XML_SCAN_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Timeline {

class XmlScan {
 public:
  enum class Result : std::uint8_t { Done, Incomplete, Foreign };

  // Receives the events of a scanned element, as expat's handlers would:
  // start with the name and a null-terminated name/value array, text in
  // pieces, end.
  struct Handler {
    virtual ~Handler() = default;
    virtual void start(const char* name, const char** attributes) = 0;
    virtual void text(const char* text, int length) = 0;
    virtual void end() = 0;
  };

  // Scans the element that starts at `begin` (at its '<'). Done: `stop` is
  // one past its end. With `start_tag_only`, the start tag alone is read.
  Result element(const char* begin, const char* end, const char*& stop,
                 bool start_tag_only = false);
  // Elements left open by the last Done scan (a start tag read alone).
  std::size_t open_elements() const { return open_.size(); }
  // The name of the first start tag of the last Done scan.
  const char* name() const { return chars_.data() + (events_.empty() ? 0 : events_[0].first); }
  // Hands the last Done scan's events to `handler`.
  void replay(Handler& handler);

 private:
  enum class Kind : std::uint8_t { Start, Text, End };
  struct Event {
    Kind kind;
    std::uint32_t first;  // Start: index in offsets_; Text: offset in chars_
    std::uint32_t count;  // Start: attribute count; Text: length
  };

  bool start_tag();
  bool end_tag();
  bool content();
  bool name(const char*& first, std::size_t& length);
  bool attribute_value(char quote);
  bool reference();
  bool utf8();
  bool space();
  void keep_string(const char* first, std::size_t length);
  bool fail(Result result) {
    result_ = result;
    return false;
  }
  bool need(std::size_t n) {
    return end_ - p_ >= static_cast<std::ptrdiff_t>(n) || fail(Result::Incomplete);
  }

  const char* p_ = nullptr;
  const char* end_ = nullptr;
  Result result_ = Result::Done;
  std::string chars_;                   // names and values, each ending in NUL; text
  std::vector<std::uint32_t> offsets_;  // per start: name, then attribute names and values
  std::vector<Event> events_;
  std::vector<std::pair<const char*, std::size_t>> open_;  // names of the open elements
  std::vector<const char*> pointers_;                      // replay's attribute array
};

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_XML_SCAN_H
