// The published value: re-reads once per period, edits that stop them, and
// lock-free snapshots that never mix two states.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <thread>

#include "zeltools/mt/Pullable.h"
#include "zeltools/native/Native.h"

namespace {

using SimpleTime::Duration;
using SimpleTime::PhysicalTime;

// Sixteen copies of one number: a torn read shows as unequal fields. The
// digest's summary of a value is its first number.
struct Value {
  int n[16] = {};
  bool uniform() const { return std::count(n, n + 16, n[0]) == 16; }
  void fill(int x) { std::fill(n, n + 16, x); }
};
struct FirstNumber {
  static std::uint32_t of(const Value& value) { return static_cast<std::uint32_t>(value.n[0]); }
};

// A source that counts its re-reads, on a clock the test moves.
class Counted : public ZelTools::MT::Pullable<Value, ZelTools::Native::Mutex, FirstNumber> {
 public:
  Counted(bool pullable, Duration period) : Pullable(Value(), pullable, period) {}

  bool reload(Value& value) override {
    ++reloads;
    if (throws) throw std::runtime_error("unreadable");
    value.fill(value.n[0] + 100);
    return true;
  }
  PhysicalTime now() const override { return PhysicalTime() + elapsed; }

  int reloads = 0;  // test thread only (re-reads run under the mutex)
  bool throws = false;
  Duration elapsed = SimpleTime::Minute * 1000.0;  // well after 1970
};

// Re-read at the first pull, then once per period, also when it fails. An
// edit stops re-reading and later edits build on it; the digest answers only
// while no re-read can be due, with the summary of the value in force.
TEST(PullableTest, ReReadsEditsAndTheDigest) {
  Counted source(true, SimpleTime::Minute);
  std::uint32_t summary = 0;
  EXPECT_FALSE(source.quick(summary));  // due at the first pull
  source.throws = true;
  EXPECT_EQ(source.pull().value.n[0], 0);
  source.throws = false;
  source.elapsed += SimpleTime::Second * 57;
  EXPECT_TRUE(source.quick(summary));
  source.elapsed += SimpleTime::Second * 2.999;  // 1 ms before due: pull decides
  EXPECT_FALSE(source.quick(summary));
  EXPECT_EQ(source.pull().value.n[0], 0);
  EXPECT_EQ(source.reloads, 1);
  source.elapsed += SimpleTime::Millisecond;
  EXPECT_EQ(source.pull().value.n[0], 100);
  EXPECT_EQ(source.reloads, 2);
  ASSERT_TRUE(source.quick(summary));
  EXPECT_EQ(summary, 100u);
  source.edit([](Counted::State& state) { state.value.n[0] += 7; });
  source.edit([](Counted::State& state) { state.value.n[1] = 1; });
  const Counted::State state = source.pull();
  EXPECT_EQ(state.value.n[0] * 10 + state.value.n[1], 71);
  EXPECT_FALSE(state.pullable);
  source.elapsed += SimpleTime::Minute * 10.0;
  ASSERT_TRUE(source.quick(summary));
  EXPECT_EQ(summary, 7u);
  Value value;
  source.pull_value(value);
  EXPECT_EQ(value.n[0], 7);
  source.edit([&](Counted::State& state) { source.set_pulling(state, true); });
  EXPECT_FALSE(source.quick(summary));  // switching pulling on makes a re-read due
  // A negative or endless period never lets the digest skip a due re-read.
  Counted negative(true, SimpleTime::Minute * -1.0), endless(true, SimpleTime::Minute * 1e12);
  negative.pull();
  endless.pull();
  EXPECT_FALSE(negative.quick(summary));
  EXPECT_TRUE(endless.quick(summary));
  EXPECT_EQ(endless.reloads, 1);
}

// A reader racing with an editor sees the state before or after each edit,
// never an older one; the editor waits for the reader to see each edit, so
// they overlap 200 times (a reader that loses an edit hangs the case).
TEST(PullableTest, SnapshotsNeverMixTwoStates) {
  Counted source(false, SimpleTime::Minute);
  std::atomic<int> seen{0}, wrong{0};  // the last state the reader saw; bad reads
  std::thread reader([&] {
    while (seen.load() < 200) {
      Value value = source.snapshot().value;
      const int first = value.n[0];
      wrong += !value.uniform();
      source.pull_value(value);  // the message path's copy
      wrong += !value.uniform() || value.n[0] < first || value.n[0] < seen.load();
      seen = value.n[0];
    }
  });
  for (int edits = 1; edits <= 200; ++edits) {
    source.edit([edits](Counted::State& state) { state.value.fill(edits); });
    while (seen.load() < edits) std::this_thread::yield();
  }
  reader.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
