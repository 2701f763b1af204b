// The outputs of the timeline: Chrome trace-event JSON, a self-contained
// HTML page, OTLP/JSON traces and a summary table per scope label.
//
// main creates the outputs the options ask for, each on a FILE it opened and
// closes after finish(); the Pairing feeds them. JSON, HTML and OTLP are
// written as scopes arrive; what they keep per scope with a workflow root,
// to link the cross calls at the end, goes to a temporary file past a
// limit. The summary keeps a bounded sketch of durations per label.
// Single-threaded, no lock.
#ifndef VANTREL_TOOLS_TIMELINE_OUTPUTS_H
#define VANTREL_TOOLS_TIMELINE_OUTPUTS_H

#include <cstdint>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "tools/timeline/Pairing.h"

namespace Timeline {

// Appends `text` to `out` as the inside of a JSON string: quotes,
// backslashes and control characters escaped, invalid UTF-8 replaced by
// U+FFFD.
void append_json_string(std::string& out, const std::string& text);
// True when `text` goes into a JSON string as it is: printable ASCII
// without quotes or backslashes.
bool is_plain_json(const std::string& text);
// Appends `text` with &, <, > and " as entities, invalid UTF-8 replaced.
void append_xml_text(std::string& out, const std::string& text);

// Appends `value` with three decimals, as "%.3f" would ("12.500",
// "-0.004"), without the cost of printf.
void append_number(std::string& out, double value);
// Appends `value` in decimal.
void append_integer(std::string& out, std::int64_t value);
void append_integer(std::string& out, std::uint64_t value);

// The pid shown for a process in the JSON and HTML: the pid itself on the
// first host, above 2^32 on the others, so that equal pids of different
// hosts stay apart.
std::int64_t shown_pid(std::uint32_t host, std::int64_t pid);

// FNV-1a: `hash` (start from fnv_basis) continued over `size` bytes.
constexpr std::uint64_t fnv_basis = 0xCBF29CE484222325ull;
inline std::uint64_t fnv1a(std::uint64_t hash, const char* text, std::size_t size) {
  for (const char* end = text + size; text != end; ++text)
    hash = (hash ^ static_cast<unsigned char>(*text)) * 0x100000001B3ull;
  return hash;
}

// What the linking of cross calls needs of a scope, and what an output
// needs of it once linked. Plain bytes: it may be kept in a file.
struct CallScope {
  std::uint64_t root = 0;  // a hash of the workflow root's text, 0 for none
  std::uint32_t host = 0;
  std::int64_t pid = 0;
  std::uint64_t tid = 0;
  double start_ms = 0, end_ms = 0;
  int depth = 0;
  bool outermost = false;              // no enclosing scope on its thread
  bool called = false;                 // set by CallLinker where it is a callee
  std::uint64_t sequence = 0;          // the scope's id: of two that contain each other,
                                       // the later is the callee
  std::uint64_t marks[3] = {0, 0, 0};  // the output's own: the OTLP span's id and offsets

  static CallScope of(const Scope& scope);
  static std::uint64_t hash(const std::string& root);
};

// Links every outermost scope of a thread that carries a workflow root to
// the innermost scope of the same root in another process that contains it
// in time, looking back over at most 256 scopes of each other process that
// start no later (of two scopes that contain each other, the later added is
// the callee). The scopes wait in memory up to `memory_scopes`, then in
// sorted runs in a temporary file, so that memory stays flat; O(n log n)
// for n scopes.
class CallLinker {
 public:
  using Found = std::function<void(const CallScope& callee, const CallScope& caller)>;

  explicit CallLinker(std::size_t memory_scopes = 1 << 15);
  ~CallLinker();
  CallLinker(const CallLinker&) = delete;
  CallLinker& operator=(const CallLinker&) = delete;

  void add(const CallScope& scope);  // a scope with a root
  // Calls `found` for each cross call, in order of root and callee start;
  // the caller's `called` says whether it is itself a callee.
  void find(const Found& found);

 private:
  void spill();

  std::size_t memory_scopes_;
  std::vector<CallScope> pending_;                           // not yet in the file
  std::FILE* spool_ = nullptr;                               // the sorted runs, one after another
  std::vector<std::pair<std::uint64_t, std::size_t>> runs_;  // offset, scopes
};

// Sends every event to several outputs.
class Outputs : public Output {
 public:
  void add(std::unique_ptr<Output> output) { outputs_.push_back(std::move(output)); }
  void scope(const Scope& scope) override;
  void opened(const Scope& scope) override;
  void host_named(std::uint32_t index, const std::string& name) override;
  void process_named(std::uint32_t host, std::int64_t pid, const std::string& name) override;
  void message(const Record& record, std::uint32_t host, const Scope* enclosing) override;
  void finish(const std::vector<Lane>& lanes, const RunFacts& facts) override;

 private:
  std::vector<std::unique_ptr<Output>> outputs_;
};

// {"traceEvents":[ one "X" event per scope, one "i" event per message,
// a flow ("s" at the caller, "f" at the callee) per cross call between
// processes, process_name and thread_name metadata ], "displayTimeUnit":"ms"}
// Times are microseconds since 1970-01-01 UTC.
class JsonOutput : public Output {
 public:
  explicit JsonOutput(std::FILE* file);
  void scope(const Scope& scope) override;
  void message(const Record& record, std::uint32_t host, const Scope* enclosing) override;
  void finish(const std::vector<Lane>& lanes, const RunFacts& facts) override;

 private:
  void begin_event();
  void flush_if_full();
  void write_flows();

  std::FILE* file_;
  std::string buffer_;
  bool first_event_ = true;
  CallLinker calls_;  // the scopes with a root, for the flows
};

// One page: a lane per process and thread, a bar per scope (the markup of an
// SVG rect with a title, which the page's script paints on a canvas),
// nested rows by depth, an arrow from each cross call's caller to its
// callee, zoom, pan and details on hover by script. Bars are placed in
// milliseconds after `origin_ms`.
class HtmlOutput : public Output {
 public:
  HtmlOutput(std::FILE* file, double origin_ms, const std::string& title);
  void scope(const Scope& scope) override;
  // Marks a crash record on its lane; other messages are not drawn.
  void message(const Record& record, std::uint32_t host, const Scope* enclosing) override;
  void finish(const std::vector<Lane>& lanes, const RunFacts& facts) override;

 private:
  int lane_index(std::int64_t pid, std::uint64_t tid);  // pid as shown_pid
  int write_lanes(const std::vector<Lane>& lanes, std::string& lane_y);
  std::string flows();
  void flush_if_full();

  std::FILE* file_;
  double origin_ms_;
  std::string buffer_;
  std::map<std::pair<std::int64_t, std::uint64_t>, int> lanes_;  // in order of first scope
  CallLinker calls_;             // the scopes with a root, for the arrows
  std::map<int, int> lane_top_;  // lane index => its top in the chart
};

// OpenTelemetry traces in the OTLP/JSON encoding: one ExportTraceServiceRequest
// with resources per process (service.name, process.pid, host.name), one
// trace per workflow root, a span per scope and a span event per message
// written inside a scope. A span is written when its scope closes, into a
// buffer per process that goes to the file as a resource's block of spans
// at 64 KB (a process may have several blocks, which receivers merge), so
// that memory holds only the open scopes, their events and, per scope with
// a workflow root, what linking the cross calls needs. finish() links a
// callee's incoming call to the caller's scope around it in the other
// process and writes those links over the spans in place: a kind digit, and
// a parent id into blanks left for it. Output that cannot seek (a pipe) is
// written to a temporary file first and copied at the end.
class Text;

class OtlpOutput : public Output {
 public:
  explicit OtlpOutput(std::FILE* file);
  ~OtlpOutput() override;
  void opened(const Scope& scope) override;
  void host_named(std::uint32_t index, const std::string& name) override;
  void process_named(std::uint32_t host, std::int64_t pid, const std::string& name) override;
  void scope(const Scope& scope) override;
  void message(const Record& record, std::uint32_t host, const Scope* enclosing) override;
  void finish(const std::vector<Lane>& lanes, const RunFacts& facts) override;

  struct Event;
  struct Trace {
    std::uint64_t high, low;
    bool operator==(const Trace& other) const { return high == other.high && low == other.low; }
  };
  using ProcessKey = std::pair<std::uint32_t, std::int64_t>;
  struct Process;

 private:
  Trace trace_of(const Scope& scope, const Trace* parent);
  std::size_t span_most(const Scope& scope, const std::vector<Event>& events);
  void write_span(Text& out, bool after_span, const Scope& scope, const std::vector<Event>& events,
                  const Trace& trace, bool parent_named, CallScope& call);
  Process& process(const Scope& scope);
  void write_block(const ProcessKey& key, Process& process);
  void write(const char* data, std::size_t size);
  void link_calls_in_place();

  std::FILE* file_;
  std::FILE* target_;          // file_, or a temporary file when file_ cannot seek
  bool can_link_ = true;       // target_ can seek back to write the links
  std::uint64_t written_ = 0;  // bytes written to target_
  std::size_t buffered_ = 0;   // bytes in all processes' buffers
  std::map<ProcessKey, Process> processes_;
  std::vector<std::string> hosts_;  // host names seen so far
  std::map<ProcessKey, std::string> names_;
  std::string last_root_;  // the workflow root of the latest trace_of() with one
  Trace last_root_trace_{0, 0};
  Process* last_process_ = nullptr;  // the process of the latest span (map nodes stay)
  ProcessKey last_process_key_;
  struct OpenScope;
  std::vector<OpenScope>::iterator find_open(std::uint64_t id);
  const Trace* open_trace(std::uint64_t id);
  // The open scopes' traces and messages, in order of id: scopes take
  // growing ids as they open, and the one that closes is mostly among the
  // latest.
  std::vector<OpenScope> open_scopes_;
  std::size_t closed_scopes_ = 0;  // entries of open_scopes_ marked closed
  CallLinker calls_;               // the scopes with a root, for the links
};

// Duration figures of one label. Keeps every sample up to `exact_limit`,
// then folds them into logarithmic buckets 0.5% wide, so that memory stays
// bounded however many scopes share the label.
class DurationStats {
 public:
  void add(double ms);
  std::size_t count() const { return count_; }
  double total() const { return total_; }
  double max() const { return max_; }
  // The q-quantile (0 < q <= 1) by nearest rank; the median of an even
  // count of exact samples is the mean of the middle two.
  double quantile(double q);

  static constexpr std::size_t exact_limit = 1 << 16;

 private:
  void fold();

  std::size_t count_ = 0;
  double total_ = 0;
  double max_ = 0;
  std::vector<double> samples_;
  bool sorted_ = false;
  std::map<int, std::size_t> buckets_;  // used once samples_ passed exact_limit
};

// label, count, total, mean, median, 95th percentile and maximum, in
// milliseconds, sorted by total; the top `top` rows (0: all).
class SummaryOutput : public Output {
 public:
  SummaryOutput(std::FILE* file, std::size_t top, bool merge_ids);
  void scope(const Scope& scope) override;
  void message(const Record&, std::uint32_t, const Scope*) override {}
  void finish(const std::vector<Lane>& lanes, const RunFacts& facts) override;

 private:
  std::FILE* file_;
  std::size_t top_;
  bool merge_ids_;
  std::map<std::string, DurationStats> labels_;
};

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_OUTPUTS_H
