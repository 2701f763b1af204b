// Linking cross calls: the same links whether the scopes stayed in memory or
// went through sorted runs in a file, and the two rules for scopes that are
// callee and caller at once.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/timeline/Outputs.h"

namespace {

using Timeline::CallLinker;
using Timeline::CallScope;

CallScope scope(std::uint64_t id, std::int64_t pid, double start, double end, int depth) {
  const auto tid = static_cast<std::uint64_t>(pid) + 1;
  return {7, 0, pid, tid, start, end, depth, depth == 0, false, id, {}};
}

// "callee>caller" per link, with a '*' where the caller is itself a callee.
std::string links_of(CallLinker& linker) {
  std::string links;
  linker.find([&links](const CallScope& callee, const CallScope& caller) {
    links += std::to_string(callee.sequence) + ">" + std::to_string(caller.sequence) +
             (caller.called ? "* " : " ");
  });
  return links;
}

TEST(CallLinker, SameLinksFromMemoryAndFromSortedRuns) {
  std::mt19937 random(5);
  CallLinker in_memory, in_runs(7), in_long_runs(1100);  // runs of one block, of two
  for (std::uint64_t id = 1; id <= 3000; ++id) {
    const double start = static_cast<double>(random() % 2000);
    CallScope call =
        scope(id, 10 * static_cast<std::int64_t>(random() % 3 + 1), start,
              start + static_cast<double>(random() % 20), static_cast<int>(random() % 3));
    call.root = random() % 4 + 1;
    for (CallLinker* linker : {&in_memory, &in_runs, &in_long_runs}) linker->add(call);
  }
  const std::string links = links_of(in_memory);
  EXPECT_GT(links.size(), 1000u);
  EXPECT_EQ(links_of(in_runs), links);
  EXPECT_EQ(links_of(in_long_runs), links);
}

TEST(CallLinker, ACalleeCallingOnStaysCalledAndAMutualPairLinksOnce) {
  CallLinker linker;
  linker.add(scope(1, 10, 0, 10, 0));
  linker.add(scope(2, 20, 1, 9, 0));    // called from 1
  linker.add(scope(3, 30, 2, 4, 0));    // called from 2, the innermost around it
  linker.add(scope(4, 10, 20, 30, 0));  // 4 and 5 contain each other
  linker.add(scope(5, 20, 20, 30, 0));
  linker.add(scope(6, 10, 40, 60, 0));  // calls 10 after three short steps of its own
  for (std::uint64_t id = 7; id <= 9; ++id)
    linker.add(scope(id, 10, 33 + 2.0 * id, 34 + 2.0 * id, 1));
  linker.add(scope(10, 20, 50, 52, 0));
  EXPECT_EQ(links_of(linker), "2>1 3>2* 5>4 10>6 ");
}

}  // namespace
