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
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/LogReader.h"
#include "tools/timeline/Record.h"

namespace Timeline {

// One process and thread: one lane of the picture.
struct Lane {
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
};

// Where the results go; outputs write as they receive.
class Output {
 public:
  virtual ~Output() = default;
  virtual void scope(const Scope& scope) = 0;
  virtual void message(const Record& record) = 0;
  // The lanes in pid, tid order; called once, after the last scope.
  virtual void finish(const std::vector<Lane>& lanes, const RunFacts& facts) = 0;
};

class Pairing : public RecordSink {
 public:
  Pairing(Output& output, Diagnostics& diagnostics) : output_(output), diagnostics_(diagnostics) {}

  // The file whose records follow (for reports).
  void begin_file(const std::string& path) { path_ = path; }
  void record(const Record& record) override;
  void process_name(std::int64_t pid, const std::string& name) override;
  // Ends every scope still open at its thread's last record, then the output.
  void finish();

 private:
  struct Frame {
    Scope scope;
    double children_end;  // the end of its latest closed child
  };
  struct Thread {
    std::vector<Frame> open;       // innermost last
    double children_end = -1e300;  // the end of its latest closed outermost scope
    double last_ms = 0;
    int depths = 0;
    std::size_t scopes = 0;
  };
  using Key = std::pair<std::int64_t, std::uint64_t>;

  void open(Thread& thread, const Record& record);
  void close(Thread& thread, const Record& record);
  void close_unmatched(Thread& thread, const Record& record, const std::string& label,
                       double elapsed_ms);
  // Ends the innermost open scope at `end_ms` and sends it out.
  void end_top(Thread& thread, double end_ms, bool crash = false);
  void emit(Thread& thread, Scope& scope);

  Output& output_;
  Diagnostics& diagnostics_;
  std::string path_;
  std::map<Key, Thread> threads_;
  std::map<std::int64_t, std::string> processes_;
  RunFacts facts_;
  bool any_record_ = false;
  std::string label_;  // scratch for closing labels
};

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_PAIRING_H
