#include "tools/timeline/Pairing.h"

#include <algorithm>

namespace Timeline {

void Pairing::begin_file(const std::string& path, const std::string& host) {
  path_ = path;
  auto known = std::find(facts_.hosts.begin(), facts_.hosts.end(), host);
  host_ = static_cast<std::uint32_t>(known - facts_.hosts.begin());
  if (known == facts_.hosts.end()) {
    facts_.hosts.push_back(host);
    output_.host_named(host_, host);
  }
}

void Pairing::process_name(std::int64_t pid, const std::string& name) {
  if (processes_.emplace(std::make_pair(host_, pid), name).second)
    output_.process_named(host_, pid, name);
}

void Pairing::record(const Record& record) {
  if (!any_record_ || record.time_ms < facts_.first_ms) facts_.first_ms = record.time_ms;
  if (!any_record_ || record.time_ms > facts_.last_ms) facts_.last_ms = record.time_ms;
  any_record_ = true;
  Thread& thread = threads_[Key(host_, record.pid, record.tid)];
  thread.last_ms = std::max(thread.last_ms, record.time_ms);
  switch (record.tag) {
    case Tag::Open:
      open(thread, record);
      break;
    case Tag::Close:
      close(thread, record);
      break;
    case Tag::Plain:
      ++facts_.messages;
      output_.message(record, host_, thread.open.empty() ? nullptr : &thread.open.back().scope);
      // The thread died here: its open scopes end with it.
      if (is_crash_record(record)) {
        while (!thread.open.empty()) end_top(thread, record.time_ms, true);
      }
      break;
  }
}

// A scope starts at its opening record's time, or at the end of the scope
// before it on the same level when the millisecond times would make them
// overlap (a child's start is never before its parent's).
void Pairing::open(Thread& thread, const Record& record) {
  double floor = thread.open.empty()
                     ? thread.children_end
                     : std::max(thread.open.back().children_end, thread.open.back().scope.start_ms);
  Frame frame;
  Scope& scope = frame.scope;
  scope.label = record.text;
  scope.start_ms = std::max(record.time_ms, floor);
  scope.pid = record.pid;
  scope.tid = record.tid;
  scope.host = host_;
  scope.id = ++last_id_;
  scope.parent_id = thread.open.empty() ? 0 : thread.open.back().scope.id;
  scope.top_id = thread.open.empty() ? scope.id : thread.open.front().scope.id;
  scope.depth = static_cast<int>(thread.open.size());
  scope.level = record.level;
  scope.severity = record.severity;
  scope.context = record.context;
  frame.children_end = scope.start_ms;
  push(thread, std::move(frame));
  output_.opened(thread.open.back().scope);
  thread.depths = std::max(thread.depths, static_cast<int>(thread.open.size()));
}

void Pairing::close(Thread& thread, const Record& record) {
  double elapsed_ms = 0;
  if (!split_closing(record.text, label_, elapsed_ms)) {
    diagnostics_.report(path_, record.line, "closing record without \"label: elapsed\" text");
    label_ = record.text;
    elapsed_ms = -1;
  }
  elapsed_ms = bounded_elapsed(record, elapsed_ms);
  if (thread.open.empty()) return close_unmatched(thread, record, label_, elapsed_ms);
  std::size_t match = find_open(thread, label_);
  if (match != none) {
    // Scopes opened inside it and never closed end here.
    std::size_t keep = match + 1;
    while (thread.open.size() > keep) end_top(thread, record.time_ms);
  } else {
    // The closing label was replaced (a cross call's closing text).
    thread.open.back().scope.closed_as = label_;
  }
  Frame frame = pop(thread);
  Scope& scope = frame.scope;
  if (elapsed_ms < 0) elapsed_ms = std::max(0.0, record.time_ms - scope.start_ms);
  scope.elapsed_ms = elapsed_ms;
  scope.exception = record.exception;
  scope.end_ms = std::max(scope.start_ms + elapsed_ms, frame.children_end);
  emit(thread, scope);
}

double Pairing::bounded_elapsed(const Record& record, double elapsed_ms) {
  // A scope may have begun before the logs' first record: a process's first
  // record is written after the library's start (configuration read, file
  // opened), which can take a while on a busy machine. A second allows for
  // that; a longer elapsed time than the whole span plus that is not real.
  if (elapsed_ms <= record.time_ms - facts_.first_ms + start_allowance_ms) return elapsed_ms;
  diagnostics_.report(path_, record.line,
                      "elapsed time longer than the logs' whole time span; measured from "
                      "the record times instead");
  return -1;
}

void Pairing::push(Thread& thread, Frame frame) {
  thread.open.push_back(std::move(frame));
  Frame& pushed = thread.open.back();
  std::size_t index = thread.open.size() - 1;
  pushed.outer_same = none;
  if (index < searched_depth) return;
  auto found = thread.innermost.find(pushed.scope.label);
  if (found != thread.innermost.end()) {
    pushed.outer_same = found->second;
    // The key views the innermost frame's own label, which lives as long as it.
    thread.innermost.erase(found);
  }
  thread.innermost.emplace(pushed.scope.label, index);
}

Pairing::Frame Pairing::pop(Thread& thread) {
  if (thread.open.size() > searched_depth) thread.innermost.erase(thread.open.back().scope.label);
  Frame frame = std::move(thread.open.back());
  thread.open.pop_back();
  if (frame.outer_same != none)
    thread.innermost.emplace(thread.open[frame.outer_same].scope.label, frame.outer_same);
  return frame;
}

std::size_t Pairing::find_open(const Thread& thread, const std::string& label) const {
  auto found = thread.innermost.find(label);
  if (found != thread.innermost.end()) return found->second;
  for (std::size_t i = std::min(thread.open.size(), searched_depth); i-- > 0;)
    if (thread.open[i].scope.label == label) return i;
  return none;
}

void Pairing::close_unmatched(Thread& thread, const Record& record, const std::string& label,
                              double elapsed_ms) {
  diagnostics_.report(path_, record.line,
                      "closing record without its opening record: \"" + label + "\"");
  if (elapsed_ms < 0) elapsed_ms = 0;
  Scope scope;
  scope.label = label;
  scope.end_ms = record.time_ms;
  scope.elapsed_ms = elapsed_ms;
  scope.start_ms =
      std::max(record.time_ms - elapsed_ms, std::min(thread.children_end, record.time_ms));
  scope.pid = record.pid;
  scope.tid = record.tid;
  scope.host = host_;
  scope.id = ++last_id_;
  scope.top_id = scope.id;
  scope.level = record.level;
  scope.severity = record.severity;
  scope.exception = record.exception;
  scope.open_missing = true;
  scope.context = record.context;
  thread.depths = std::max(thread.depths, 1);
  ++facts_.open_missing;
  emit(thread, scope);
}

void Pairing::end_top(Thread& thread, double end_ms, bool crash) {
  Frame frame = pop(thread);
  Scope& done = frame.scope;
  done.end_ms = std::max({end_ms, frame.children_end, done.start_ms});
  done.elapsed_ms = done.end_ms - done.start_ms;
  done.unclosed = !crash;
  done.ended_by_crash = crash;
  if (!crash) ++facts_.unclosed;
  emit(thread, done);
}

void Pairing::emit(Thread& thread, Scope& scope) {
  double& parent_end = thread.open.empty() ? thread.children_end : thread.open.back().children_end;
  parent_end = std::max(parent_end, scope.end_ms);
  ++thread.scopes;
  ++facts_.scopes;
  facts_.last_ms = std::max(facts_.last_ms, scope.end_ms);
  output_.scope(scope);
}

void Pairing::finish() {
  std::vector<Lane> lanes;
  for (auto& entry : threads_) {
    Thread& thread = entry.second;
    while (!thread.open.empty()) end_top(thread, thread.last_ms);
    Lane lane;
    std::tie(lane.host, lane.pid, lane.tid) = entry.first;
    auto process = processes_.find(std::make_pair(lane.host, lane.pid));
    if (process != processes_.end()) lane.process = process->second;
    lane.depths = thread.depths;
    lane.scopes = thread.scopes;
    lanes.push_back(lane);
  }
  output_.finish(lanes, facts_);
}

}  // namespace Timeline
