// The records the timeline reads and the scopes it builds from them.
//
// A reader fills one Record per log record and hands it to the pairing,
// which keeps a copy only while the record opens a scope that has not closed
// yet; closed scopes leave as Scope values to the outputs. Single-threaded:
// the tool runs on one thread and none of these types is shared.
#ifndef VANTREL_TOOLS_TIMELINE_RECORD_H
#define VANTREL_TOOLS_TIMELINE_RECORD_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace Timeline {

enum class Tag : std::uint8_t { Plain, Open, Close };

// The execution context a record carries: workflow steps as "names#ids",
// actors as their '/'-joined text; empty when the record has none.
struct RecordContext {
  std::string root;
  std::string caller;
  std::string callee;
  std::string user;
  std::string architect;
  std::string developer;
  std::string consultant;

  void clear();
};

// One log record, whatever its format.
struct Record {
  Tag tag = Tag::Plain;
  double time_ms = 0;  // milliseconds since 1970-01-01 UTC
  std::int64_t pid = 0;
  std::uint64_t tid = 0;
  int level = 2;           // 0 (XS) .. 4 (XL); -1 when unknown
  char severity = ' ';     // ' ', 'W', 'E', 'A' or '?'
  bool exception = false;  // written while an exception was in flight
  bool has_rank = false;
  std::uint64_t rank = 0;  // the full rank (XML) or its last two digits (text)
  std::string text;
  RecordContext context;
  std::string source;    // "file:line" when the record names its source
  std::size_t line = 0;  // where the record starts in its file (1-based)

  void clear();
};

// One traced scope, from its opening record to its closing record.
struct Scope {
  std::string label;      // the opening text (or the closing label)
  std::string closed_as;  // the closing label when it differs from label
  double start_ms = 0;    // placed so that scopes of a thread nest
  double end_ms = 0;
  double elapsed_ms = 0;  // as the closing text measured it
  std::int64_t pid = 0;
  std::uint64_t tid = 0;
  int depth = 0;  // 0 for a scope with no open parent
  int level = 2;
  char severity = ' ';
  bool exception = false;     // the closing record was written while unwinding
  bool unclosed = false;      // no closing record: ends at the thread's last record
  bool open_missing = false;  // no opening record: starts at close minus elapsed
  RecordContext context;      // from the opening record (or the closing one)
  // Numbered in the order the scopes open, from 1, unique in the run.
  std::uint64_t id = 0;
  std::uint64_t parent_id = 0;  // the enclosing scope on its thread, 0 for none
  std::uint64_t top_id = 0;     // the outermost enclosing scope (itself at depth 0)
  std::uint32_t host = 0;       // index in RunFacts::hosts

  // Still open when its thread's crash record came: ends there.
  bool ended_by_crash = false;
};

// The two-letter level names of the records, index = level:
//   "<<" XS, "<=" S, "==" M, ">=" L, ">>" XL.
int level_from_mark(const char* mark, std::size_t length);
const char* level_name(int level);

// Parses a printed duration, "[-][D::][H:][M:]S" with S a decimal number of
// seconds ("0.008" => 8 ms, "1:1" => 61000 ms, "1::0:0:0" => one day).
// False when the text is not such a form.
bool parse_duration(const char* begin, const char* end, double& ms);

// Splits a closing text "label: elapsed" at its last ": ". False when there
// is no such separator or the elapsed part is not a duration.
bool split_closing(const std::string& text, std::string& label, double& elapsed_ms);

// Reads "YYYY/MM/DD HH:MM:SS.mmm" (23 characters) as UTC. Remembers the last
// date and hour, so that consecutive records of one hour cost no calendar
// arithmetic.
class TimeParser {
 public:
  // False when the 23 characters at `text` are not a time.
  bool parse(const char* text, double& ms);

 private:
  char cached_hour_[13] = {};  // "YYYY/MM/DD HH" of cached_base_
  double cached_base_ = -1;
};

// Whether `record` is the crash record of a dying thread: an assert whose
// text begins "Crash: SIG" (as the crash handler writes it).
bool is_crash_record(const Record& record);

// Whether the 23 characters at `text` have the digits and separators of a
// printed time.
bool looks_like_time(const char* text);

// The length of the valid UTF-8 sequence at `at` (before `end`), or 0 for
// an ASCII byte, a stray byte or a sequence that is cut, overlong, a
// surrogate or beyond U+10FFFF.
std::size_t utf8_sequence_length(const unsigned char* at, const unsigned char* end);

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_RECORD_H
