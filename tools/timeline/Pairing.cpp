#include "tools/timeline/Pairing.h"

#include <algorithm>

namespace Timeline {

void Pairing::process_name(std::int64_t pid, const std::string& name) {
  processes_.emplace(pid, name);
}

void Pairing::record(const Record& record) {
  if (!any_record_ || record.time_ms < facts_.first_ms) facts_.first_ms = record.time_ms;
  if (!any_record_ || record.time_ms > facts_.last_ms) facts_.last_ms = record.time_ms;
  any_record_ = true;
  Thread& thread = threads_[Key(record.pid, record.tid)];
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
      output_.message(record);
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
  scope.depth = static_cast<int>(thread.open.size());
  scope.level = record.level;
  scope.severity = record.severity;
  scope.context = record.context;
  frame.children_end = scope.start_ms;
  thread.open.push_back(std::move(frame));
  thread.depths = std::max(thread.depths, static_cast<int>(thread.open.size()));
}

void Pairing::close(Thread& thread, const Record& record) {
  double elapsed_ms = 0;
  if (!split_closing(record.text, label_, elapsed_ms)) {
    diagnostics_.report(path_, record.line, "closing record without \"label: elapsed\" text");
    label_ = record.text;
    elapsed_ms = -1;
  }
  auto match = std::find_if(thread.open.rbegin(), thread.open.rend(),
                            [this](const Frame& frame) { return frame.scope.label == label_; });
  if (thread.open.empty()) return close_unmatched(thread, record, label_, elapsed_ms);
  if (match != thread.open.rend()) {
    // Scopes opened inside it and never closed end here.
    std::size_t keep = thread.open.size() - static_cast<std::size_t>(match - thread.open.rbegin());
    while (thread.open.size() > keep) end_top(thread, record.time_ms);
  } else {
    // The closing label was replaced (a cross call's closing text).
    thread.open.back().scope.closed_as = label_;
  }
  Frame& frame = thread.open.back();
  Scope& scope = frame.scope;
  if (elapsed_ms < 0) elapsed_ms = std::max(0.0, record.time_ms - scope.start_ms);
  scope.elapsed_ms = elapsed_ms;
  scope.exception = record.exception;
  scope.end_ms = std::max(scope.start_ms + elapsed_ms, frame.children_end);
  Scope done = std::move(scope);
  thread.open.pop_back();
  emit(thread, done);
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
  Frame& frame = thread.open.back();
  Scope done = std::move(frame.scope);
  done.end_ms = std::max({end_ms, frame.children_end, done.start_ms});
  done.elapsed_ms = done.end_ms - done.start_ms;
  done.unclosed = !crash;
  done.ended_by_crash = crash;
  thread.open.pop_back();
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
    lane.pid = entry.first.first;
    lane.tid = entry.first.second;
    auto process = processes_.find(lane.pid);
    if (process != processes_.end()) lane.process = process->second;
    lane.depths = thread.depths;
    lane.scopes = thread.scopes;
    lanes.push_back(lane);
  }
  output_.finish(lanes, facts_);
}

}  // namespace Timeline
