// Cross calls between processes. The log says no more than this: an
// incoming call installs the caller's workflow position on the callee's
// thread, so the callee's first scope there already carries the workflow
// root. That scope's caller is the innermost scope of the same workflow in
// another process that lasts from before it to after it.
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

std::vector<CallLink> link_calls(const std::vector<CallScope>& scopes) {
  std::unordered_map<std::uint64_t, std::vector<std::size_t>> by_root;
  for (std::size_t i = 0; i < scopes.size(); ++i)
    if (scopes[i].root != 0) by_root[scopes[i].root].push_back(i);
  std::vector<CallLink> links;
  for (const auto& entry : by_root) {
    for (std::size_t callee : entry.second) {
      const CallScope& in = scopes[callee];
      if (!in.outermost) continue;
      const CallScope* best = nullptr;
      std::size_t best_index = 0;
      for (std::size_t caller : entry.second) {
        const CallScope& out = scopes[caller];
        if (out.host == in.host && out.pid == in.pid) continue;
        if (out.start_ms > in.start_ms || out.end_ms < in.end_ms) continue;
        if (!best || out.start_ms > best->start_ms ||
            (out.start_ms == best->start_ms && out.depth > best->depth)) {
          best = &out;
          best_index = caller;
        }
      }
      if (best) links.push_back(CallLink{callee, best_index});
    }
  }
  return links;
}

}  // namespace Timeline
