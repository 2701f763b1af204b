// A configuration text cannot take the host's memory or its life: strings are
// capped, nothing (std::bad_alloc included) leaves Config::parse, and a failed
// run leaves the record as it was.
#include <atomic>
#include <cstdlib>
#include <new>

#include "config_support.h"

namespace {

// While `fail_countdown` is set, allocations under 4 KiB are counted and
// number `fail_countdown` throws std::bad_alloc, once. Larger ones never fail:
// the parser's first stack is allocated in a noexcept generated constructor.
// Relaxed: only the test's thread allocates meanwhile.
std::atomic<long> fail_countdown{0}, counted{0};

void* allocate(std::size_t size) {
  if (size < 4096 && fail_countdown.load(std::memory_order_relaxed) > 0) {
    counted.fetch_add(1, std::memory_order_relaxed);
    if (fail_countdown.fetch_sub(1, std::memory_order_relaxed) == 1) throw std::bad_alloc();
  }
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }

namespace {

using config_test::run;

// A literal may hold 65536 bytes, not one more (cases/parse.txt has the same
// cap on a sum, which stops a doubling string long before memory runs out).
TEST(ConfigLimitsTest, StringLiteralIsCappedAt64KiB) {
  const std::string at_cap = "consultant = \"" + std::string(64 * 1024, 'x');
  EXPECT_TRUE(run(at_cap + "\";").ok);
  EXPECT_EQ(run(at_cap + "x\";").err.rfind("error: string longer than 65536 bytes: ", 0), 0u);
}

// Runs `text` with allocation `n` failing; tells whether the run reached it.
bool run_failing_at(long n, const std::string& text, config_test::RunResult& r) {
  std::istringstream in(text);
  std::ostringstream err;
  std::streambuf* saved = std::cerr.rdbuf(err.rdbuf());
  fail_countdown.store(n, std::memory_order_relaxed);
  try {
    r.ok = r.config.parse(in, "trace", "logs", "trace.ini");
  } catch (...) {
    ADD_FAILURE() << "an exception left Config::parse";
  }
  const bool reached = fail_countdown.exchange(0, std::memory_order_relaxed) == 0;
  std::cerr.rdbuf(saved);
  r.err = err.str();
  return reached;
}

// Each allocation of a run fails in turn: the run fails (the record kept) or
// succeeds, and nothing escapes.
TEST(ConfigLimitsTest, AllocationFailureAnywhereEndsTheRunCleanly) {
  const std::string text =
      "consultant = \"ab\" + string(size);\nif (consultant != \"x\") eprint(consultant);\n"
      "size = 20; active = true; importance = '>=';\n";
  Vantrel::Config start;
  start.set_consultant("kept");
  const std::string before = config_test::printed(start);
  config_test::RunResult whole{false, "", "", start};
  counted.store(0, std::memory_order_relaxed);
  ASSERT_FALSE(run_failing_at(1000000, text, whole));
  ASSERT_TRUE(whole.ok);
  const long allocations = counted.load(std::memory_order_relaxed);
  int out_of_memory_lines = 0;
  for (long n = 1; n <= allocations; ++n) {
    SCOPED_TRACE("allocation " + std::to_string(n) + " fails");
    config_test::RunResult r{false, "", "", start};
    EXPECT_TRUE(run_failing_at(n, text, r));
    if (!r.ok) {
      EXPECT_EQ(config_test::printed(r.config), before);
    }
    out_of_memory_lines += r.err.find("error: out of memory") != std::string::npos;
  }
  EXPECT_GT(allocations, 20);
  EXPECT_GT(out_of_memory_lines, 0);
}

}  // namespace
