// The message path makes no heap allocation per record once a destination is
// warm (its file open, its buffers grown). The global allocation functions of
// this executable count every allocation of the process, the library's too.
#include <Vantrel.h>
#include <Vantrel/Format.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "src/logfile_support.h"

namespace {

// Relaxed: only the test's own thread allocates while it counts.
std::atomic<long> allocations{0};

void* counted_allocation(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* block = std::malloc(size != 0 ? size : 1)) return block;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) { return counted_allocation(size); }
void* operator new[](std::size_t size) { return counted_allocation(size); }
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }

namespace {

using namespace Vantrel;

// Active at level M with the given columns, files far larger than the test
// writes, and every column text cut to its width.
void use_settings(const std::string& logdir, unsigned mask) {
  Admin::logdir(logdir);
  ASSERT_TRUE(
      Admin::config("active = true; size = 1000000; display_mask = " + std::to_string(mask) +
                    "; workflow_names_display_width = 10; actors_display_width = 6;"
                    " consultant = \"a consultant name longer than fifteen\";"));
}

// Allocations made by 200 calls of `write(i)` after 20 warm-up calls.
template <class Write>
long allocations_in_steady_state(Write write) {
  for (int i = 0; i < 20; ++i) write(i);
  const long before = allocations.load(std::memory_order_relaxed);
  for (int i = 0; i < 200; ++i) write(i);
  return allocations.load(std::memory_order_relaxed) - before;
}

void printf_record(int i) {
  Printf{L}("request %d served from cache in 12 ms, size 4096 bytes", i);
}

// Filtered messages first, with the settings pulled from an absent file;
// then records of every front end and column form, in a text and an XML log.
TEST(allocation_test, filtered_messages_and_records) {
  EXPECT_EQ(allocations_in_steady_state([](int i) { Printf{XS}("filtered %d", i); }), 0);
  EXPECT_EQ(allocations_in_steady_state([](int i) { Format{XS}("filtered {}", i); }), 0);
  logfile_support::TempDir dir;
  for (unsigned mask : {none_mask, rank_mask | actors_mask, all_mask & ~debug_mask}) {
    use_settings(dir.path, mask);
    EXPECT_EQ(allocations_in_steady_state(printf_record), 0) << "mask " << std::hex << mask;
  }
  EXPECT_EQ(allocations_in_steady_state(
                [](int i) { VANTREL_LOG(L) << "request " << i << " took " << 1.5 << " ms"; }),
            0);
  EXPECT_EQ(allocations_in_steady_state([](int i) {
              VANTREL_FORMAT(L, "request {} served in {:.1f} ms, {}", i, 1.5, "from cache");
            }),
            0);
  using namespace Context;
  WorkflowScope order(Root(StepFields({"order"}, {"o42"}), SubFields{"alice"}));
  WorkflowScope check(Step(StepFields({"check"}, {"c42"})));
  EXPECT_EQ(allocations_in_steady_state(printf_record), 0);
  EXPECT_EQ(dir.all_texts().size(), 6u * 220 + 2);
  const Device device("alloc", "xml", dir.path, "");
  WithDevice bind(device);
  use_settings(dir.path, none_mask);
  EXPECT_EQ(allocations_in_steady_state(printf_record), 0) << "xml";
}

}  // namespace
