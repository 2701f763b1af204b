// Cross calls between processes. The log says no more than this: an
// incoming call installs the caller's workflow position on the callee's
// thread, so the callee's first scope there already carries the workflow
// root. That scope's caller is the innermost scope of the same workflow in
// another process that lasts from before it to after it.
//
// The scopes with a root are kept until the end, when the callers are
// found: in memory up to a limit, then as sorted runs in a temporary file.
// Linking reads them merged in order of root and start, keeping per process
// only the latest scopes of the root at hand, so memory stays flat however
// many scopes the logs hold.
#include <algorithm>
#include <deque>
#include <map>
#include <queue>
#include <tuple>

#include "tools/timeline/Outputs.h"

namespace Timeline {

// FNV-1a; 0 is kept for "no root".
std::uint64_t CallScope::hash(const std::string& root) {
  if (root.empty()) return 0;
  const std::uint64_t value = fnv1a(fnv_basis, root.data(), root.size());
  return value == 0 ? 1 : value;
}

CallScope CallScope::of(const Scope& scope) {
  CallScope call;
  call.root = hash(scope.context.root);
  call.host = scope.host;
  call.pid = scope.pid;
  call.tid = scope.tid;
  call.start_ms = scope.start_ms;
  call.end_ms = scope.end_ms;
  call.depth = scope.depth;
  call.outermost = scope.parent_id == 0 && !scope.open_missing;
  call.sequence = scope.id;
  return call;
}

namespace {

// How far back, among the other process's scopes of the same workflow that
// start before the callee, the search for the one containing it goes: the
// caller's call usually started shortly before. Bounds the time per callee
// and what linking keeps per process.
constexpr std::size_t search_depth = 256;

// Record times are cut to the millisecond while elapsed times are measured
// finer, so a callee's end (its start plus its elapsed time) may pass its
// caller's end by up to a millisecond although it ran inside it.
constexpr double time_resolution_ms = 1.0;

// Scopes a run holds when it is written, and a run's reader holds at once.
constexpr std::size_t read_block = 1024;

using Process = std::pair<std::uint32_t, std::int64_t>;

Process process_of(const CallScope& scope) { return {scope.host, scope.pid}; }

// The order linking reads the scopes in; the arrival order settles ties,
// so that the links are the same however the scopes were spilled.
bool earlier(const CallScope& a, const CallScope& b) {
  return std::tie(a.root, a.start_ms, a.depth, a.sequence) <
         std::tie(b.root, b.start_ms, b.depth, b.sequence);
}

// The innermost scope of `window` (a process's latest scopes of the root,
// oldest first, all starting no later than `in`) that contains `in`, or null.
CallScope* innermost_container(std::deque<CallScope>& window, const CallScope& in) {
  CallScope* best = nullptr;
  for (auto out = window.rbegin(); out != window.rend(); ++out) {
    if (out->end_ms + time_resolution_ms < in.end_ms) continue;
    if (!best || out->start_ms > best->start_ms ||
        (out->start_ms == best->start_ms && out->depth > best->depth))
      best = &*out;
    if (out->start_ms < best->start_ms) break;  // older ones cannot be inner
  }
  return best;
}

// Reads one sorted run of the spool back, a block at a time.
class RunReader {
 public:
  RunReader(std::FILE* file, std::uint64_t offset, std::uint64_t count)
      : file_(file), offset_(offset), left_(count) {}
  bool empty() const { return at_ == block_.size() && left_ == 0; }
  const CallScope& front() {
    if (at_ == block_.size()) refill();
    return block_[at_];
  }
  void pop() { ++at_; }

 private:
  void refill() {
    block_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(left_, read_block)));
    at_ = 0;
    if (std::fseek(file_, static_cast<long>(offset_), SEEK_SET) != 0 ||
        std::fread(block_.data(), sizeof(CallScope), block_.size(), file_) != block_.size())
      block_.assign(block_.size(), CallScope{});  // unreadable: scopes without a root
    offset_ += block_.size() * sizeof(CallScope);
    left_ -= block_.size();
  }

  std::FILE* file_;
  std::uint64_t offset_, left_;
  std::vector<CallScope> block_;
  std::size_t at_ = 0;
};

// Follows the scopes of one root at a time, in order of start, and finds
// each callee's caller among the latest scopes of the other processes.
class Linker {
 public:
  using Links = std::vector<std::pair<CallScope*, CallScope*>>;  // callee, caller

  explicit Linker(const CallLinker::Found& found) : found_(found) {}
  void next(const CallScope& scope) {
    if (!batch_.empty() &&
        (scope.root != batch_.front().root || scope.start_ms != batch_.front().start_ms))
      end_batch();
    if (scope.root != root_) {
      windows_.clear();
      root_ = scope.root;
    }
    batch_.push_back(scope);
  }
  void end() { end_batch(); }

 private:
  // The scopes that start together join their windows before any of them
  // looks for its caller: a caller may start in the same millisecond.
  void end_batch() {
    for (const CallScope& scope : batch_) {
      std::deque<CallScope>& window = windows_[process_of(scope)];
      window.push_back(scope);
      if (window.size() > search_depth) window.pop_front();
    }
    // Each outermost scope with its caller, then without the earlier of a
    // mutual pair; the callees are marked in their windows before any link
    // is told, so that a caller in this batch shows whether it is a callee.
    Links links;  // into the windows
    for (CallScope& in : batch_)
      if (in.outermost)
        if (CallScope* caller = caller_of(in)) links.emplace_back(window_entry(in), caller);
    Links kept;
    for (const auto& link : links)
      if (link.first->sequence >= link.second->sequence ||
          !linked(links, *link.second, *link.first))
        kept.push_back(link);
    for (const auto& link : kept) link.first->called = true;
    for (const auto& link : kept) found_(*link.first, *link.second);
    batch_.clear();
  }
  // The window's copy of `scope`, which joined it in this batch; the batch's
  // own where more than a window's worth of scopes started together.
  CallScope* window_entry(CallScope& scope) {
    std::deque<CallScope>& window = windows_[process_of(scope)];
    auto entry = std::find_if(window.rbegin(), window.rend(), [&scope](const CallScope& in) {
      return in.sequence == scope.sequence;
    });
    return entry == window.rend() ? &scope : &*entry;
  }
  CallScope* caller_of(const CallScope& in) {
    CallScope* best = nullptr;
    for (auto& other : windows_) {
      if (other.first == process_of(in)) continue;
      CallScope* found = innermost_container(other.second, in);
      if (found && (!best || found->start_ms > best->start_ms)) best = found;
    }
    return best;
  }
  // Two outermost scopes of equal times in two processes each contain the
  // other (and start together, so both links are in one batch): the later
  // one only is the callee, so that no scope is its own ancestor.
  static bool linked(const Links& links, const CallScope& callee, const CallScope& caller) {
    return std::any_of(links.begin(), links.end(), [&](const auto& link) {
      return link.first->sequence == callee.sequence && link.second->sequence == caller.sequence;
    });
  }

  const CallLinker::Found& found_;
  std::uint64_t root_ = 0;
  std::map<Process, std::deque<CallScope>> windows_;  // of root_
  std::vector<CallScope> batch_;                      // of one root and start
};

}  // namespace

CallLinker::CallLinker(std::size_t memory_scopes) : memory_scopes_(memory_scopes) {}

CallLinker::~CallLinker() {
  if (spool_) std::fclose(spool_);
}

void CallLinker::add(const CallScope& scope) {
  pending_.push_back(scope);
  if (pending_.size() >= memory_scopes_) spill();
}

// Writes the scopes in memory as one sorted run. Without a temporary file
// they stay in memory.
void CallLinker::spill() {
  if (!spool_ && !(spool_ = std::tmpfile())) return;
  std::sort(pending_.begin(), pending_.end(), earlier);
  if (std::fseek(spool_, 0, SEEK_END) != 0) return;
  const long offset = std::ftell(spool_);
  if (offset < 0 ||
      std::fwrite(pending_.data(), sizeof(CallScope), pending_.size(), spool_) != pending_.size())
    return;
  runs_.emplace_back(static_cast<std::uint64_t>(offset), pending_.size());
  pending_.clear();
}

void CallLinker::find(const Found& found) {
  Linker linker(found);
  std::sort(pending_.begin(), pending_.end(), earlier);
  if (runs_.empty()) {
    for (const CallScope& scope : pending_) linker.next(scope);
    linker.end();
    return;
  }
  std::fflush(spool_);
  std::vector<RunReader> readers;
  for (const auto& run : runs_) readers.emplace_back(spool_, run.first, run.second);
  // The runs and the scopes still in memory, merged: a heap of the readers
  // by their front, with the memory's scopes as one more run.
  std::size_t in_memory = 0;
  auto front_of = [&](std::size_t i) -> const CallScope& {
    return i < readers.size() ? readers[i].front() : pending_[in_memory];
  };
  auto later = [&](std::size_t a, std::size_t b) { return earlier(front_of(b), front_of(a)); };
  std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heap(later);
  for (std::size_t i = 0; i < readers.size(); ++i)
    if (!readers[i].empty()) heap.push(i);
  if (!pending_.empty()) heap.push(readers.size());
  while (!heap.empty()) {
    const std::size_t i = heap.top();
    heap.pop();
    linker.next(front_of(i));
    if (i < readers.size()) {
      readers[i].pop();
      if (!readers[i].empty()) heap.push(i);
    } else if (++in_memory < pending_.size()) {
      heap.push(i);
    }
  }
  linker.end();
}

}  // namespace Timeline
