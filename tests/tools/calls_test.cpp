// Linking cross calls: the same links whether the scopes stayed in memory or
// went through sorted runs in a file, and the two rules for scopes that are
// callee and caller at once.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "tools/timeline/Outputs.h"
#include "zeltools/cases_support.h"

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
  EXPECT_EQ(links_of(in_runs), links);
  EXPECT_EQ(links_of(in_long_runs), links);
}

TEST(CallLinker, ACalleeCallingOnStaysCalledAndAMutualPairLinksOnce) {
  CallLinker linker;
  for (const cases::Fields& row : cases::read("tools/cases/call_rules.rows"))
    linker.add(scope(std::stoull(row[0]), std::stoll(row[1]), std::stod(row[2]), std::stod(row[3]),
                     std::stoi(row[4])));
  EXPECT_EQ(links_of(linker), "2>1 3>2* 5>4 10>6 ");
}

}  // namespace
