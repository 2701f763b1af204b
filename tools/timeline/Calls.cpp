// Cross calls between processes. The log says no more than this: an
// incoming call installs the caller's workflow position on the callee's
// thread, so the callee's first scope there already carries the workflow
// root. That scope's caller is the innermost scope of the same workflow in
// another process that lasts from before it to after it.
#include <algorithm>
#include <map>
#include <unordered_map>

#include "tools/timeline/Outputs.h"

namespace Timeline {

// FNV-1a; 0 is kept for "no root".
std::uint64_t CallScope::hash(const std::string& root) {
  if (root.empty()) return 0;
  std::uint64_t value = 0xCBF29CE484222325ull;
  for (unsigned char c : root) value = (value ^ c) * 0x100000001B3ull;
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
  return call;
}

namespace {

// How far back, among the other process's scopes of the same workflow that
// start before the callee, the search for the one containing it goes: the
// caller's call usually started shortly before. Bounds the time per callee.
constexpr std::size_t search_depth = 256;

// Record times are cut to the millisecond while elapsed times are measured
// finer, so a callee's end (its start plus its elapsed time) may pass its
// caller's end by up to a millisecond although it ran inside it.
constexpr double time_resolution_ms = 1.0;

using Process = std::pair<std::uint32_t, std::int64_t>;

Process process_of(const CallScope& scope) { return {scope.host, scope.pid}; }

// The innermost of `candidates` (indexes sorted by start) that contains
// `in`, or `none`.
std::size_t innermost_container(const std::vector<CallScope>& scopes,
                                const std::vector<std::size_t>& candidates, const CallScope& in) {
  auto after = std::upper_bound(
      candidates.begin(), candidates.end(), in.start_ms,
      [&scopes](double start, std::size_t i) { return start < scopes[i].start_ms; });
  std::size_t best = static_cast<std::size_t>(-1);
  for (std::size_t steps = 0; after != candidates.begin() && steps < search_depth; ++steps) {
    const CallScope& out = scopes[*--after];
    if (out.end_ms + time_resolution_ms < in.end_ms) continue;
    if (best == static_cast<std::size_t>(-1) || out.start_ms > scopes[best].start_ms ||
        (out.start_ms == scopes[best].start_ms && out.depth > scopes[best].depth))
      best = *after;
    if (out.start_ms < scopes[best].start_ms) break;  // older ones cannot be inner
  }
  return best;
}

}  // namespace

std::vector<CallLink> link_calls(const std::vector<CallScope>& scopes) {
  // Per workflow, per process: the scopes' indexes in order of start.
  std::unordered_map<std::uint64_t, std::map<Process, std::vector<std::size_t>>> by_root;
  for (std::size_t i = 0; i < scopes.size(); ++i)
    if (scopes[i].root != 0) by_root[scopes[i].root][process_of(scopes[i])].push_back(i);
  std::vector<CallLink> links;
  for (auto& root : by_root) {
    if (root.second.size() < 2) continue;  // one process: no call between processes
    for (auto& process : root.second)
      std::sort(process.second.begin(), process.second.end(),
                [&scopes](std::size_t a, std::size_t b) {
                  return scopes[a].start_ms < scopes[b].start_ms;
                });
    for (const auto& process : root.second)
      for (std::size_t callee : process.second) {
        const CallScope& in = scopes[callee];
        if (!in.outermost) continue;
        std::size_t best = static_cast<std::size_t>(-1);
        for (const auto& other : root.second) {
          if (other.first == process.first) continue;
          std::size_t found = innermost_container(scopes, other.second, in);
          if (found != static_cast<std::size_t>(-1) &&
              (best == static_cast<std::size_t>(-1) ||
               scopes[found].start_ms > scopes[best].start_ms))
            best = found;
        }
        if (best != static_cast<std::size_t>(-1)) links.push_back(CallLink{callee, best});
      }
  }
  return links;
}

}  // namespace Timeline
