// Pairs opening and closing records into scopes, per process and thread.
//
// main creates one Pairing for the run, feeds it the records of every file
// (the files of one process in time order) and calls finish() at the end.
// Only the scopes still open are kept: a closed scope goes to the Output at
// once, so memory follows the nesting depth, not the length of the log.
// Single-threaded, no lock.
#ifndef VANTREL_TOOLS_TIMELINE_PAIRING_H
#define VANTREL_TOOLS_TIMELINE_PAIRING_H

#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/LogReader.h"
#include "tools/timeline/Record.h"

namespace Timeline {

// One process and thread: one lane of the picture.
struct Lane {
  std::uint32_t host = 0;  // index in RunFacts::hosts
  std::int64_t pid = 0;
  std::uint64_t tid = 0;
  std::string process;  // the process name, or "" when no file gave one
  int depths = 0;       // rows needed: the deepest nesting plus one
  std::size_t scopes = 0;
};

struct RunFacts {
  double first_ms = 0;  // the earliest and latest record times
  double last_ms = 0;
  std::size_t scopes = 0;
  std::size_t messages = 0;
  std::size_t unclosed = 0;
  std::size_t open_missing = 0;
  std::vector<std::string> hosts;  // host names, [0] the unnamed host ""
};

// Where the results go; outputs write as they receive.
class Output {
 public:
  virtual ~Output() = default;
  virtual void scope(const Scope& scope) = 0;
  // A scope has opened: id, parent, thread and context are set, the end is
  // not known yet. Called before any of its children opens.
  virtual void opened(const Scope& /*scope*/) {}
  // The name of host `index` (of Scope::host), told once before its first scope.
  virtual void host_named(std::uint32_t /*index*/, const std::string& /*name*/) {}
  // The name of process `pid` of host `host`, told before its first scope
  // when its log names it; the first name told is the one that holds.
  virtual void process_named(std::uint32_t /*host*/, std::int64_t /*pid*/,
                             const std::string& /*name*/) {}
  // `host`: index in RunFacts::hosts; `enclosing`: the innermost scope open
  // on the record's thread, still without its end, or null.
  virtual void message(const Record& record, std::uint32_t host, const Scope* enclosing) = 0;
  // The lanes in pid, tid order; called once, after the last scope.
  virtual void finish(const std::vector<Lane>& lanes, const RunFacts& facts) = 0;
};

class Pairing : public RecordSink {
 public:
  Pairing(Output& output, Diagnostics& diagnostics) : output_(output), diagnostics_(diagnostics) {}

  // The file whose records follow (for reports) and the host it comes from
  // ("" when not known): processes of different hosts stay apart.
  void begin_file(const std::string& path, const std::string& host = std::string());
  void record(const Record& record) override;
  void process_name(std::int64_t pid, const std::string& name) override;
  // Ends every scope still open at its thread's last record, then the output.
  void finish();

 private:
  static constexpr std::size_t none = static_cast<std::size_t>(-1);
  // Frames below this index are found by comparing labels, which costs
  // less than keeping them in a hash map.
  static constexpr std::size_t searched_depth = 16;
  struct Frame {
    Scope scope;
    double children_end;     // the end of its latest closed child
    std::size_t outer_same;  // the next outer frame with the same label, or none
  };
  struct Thread {
    // Innermost last. A deque, so that the labels `innermost` views stay in
    // place while frames are pushed and popped at the end.
    std::deque<Frame> open;
    // Per open label, its innermost frame among those from index
    // `searched_depth` up: a closing record finds its scope without
    // searching a deep stack. The frames below are few and searched.
    std::unordered_map<std::string_view, std::size_t> innermost;
    double children_end = -1e300;  // the end of its latest closed outermost scope
    double last_ms = 0;
    int depths = 0;
    std::size_t scopes = 0;
  };
  using Key = std::tuple<std::uint32_t, std::int64_t, std::uint64_t>;

  void open(Thread& thread, const Record& record);
  void close(Thread& thread, const Record& record);
  void close_unmatched(Thread& thread, const Record& record, const std::string& label,
                       double elapsed_ms);
  // Ends the innermost open scope at `end_ms` and sends it out.
  void end_top(Thread& thread, double end_ms, bool crash = false);
  void push(Thread& thread, Frame frame);
  // Takes the innermost open scope off the stack and its label's index.
  Frame pop(Thread& thread);
  // The innermost open frame with `label`, or none.
  std::size_t find_open(const Thread& thread, const std::string& label) const;
  // -1 (measure from the records) when the printed elapsed time would start
  // the scope more than start_allowance_ms before the first record of the logs.
  double bounded_elapsed(const Record& record, double elapsed_ms);
  static constexpr double start_allowance_ms = 1000;
  void emit(Thread& thread, Scope& scope);

  Output& output_;
  Diagnostics& diagnostics_;
  std::string path_;
  std::map<Key, Thread> threads_;
  std::map<std::pair<std::uint32_t, std::int64_t>, std::string> processes_;
  std::uint32_t host_ = 0;  // of the current file
  std::uint64_t last_id_ = 0;
  RunFacts facts_;
  bool any_record_ = false;
  std::string label_;  // scratch for closing labels
};

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_PAIRING_H
