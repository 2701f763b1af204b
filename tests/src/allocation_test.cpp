// The message path makes no heap allocation per record once a destination is
// warm (its file open, its buffers grown). The global allocation functions of
// this executable count every allocation of the process, the library's too.
#include <gtest/gtest.h>

#include <Vantrel.h>
#include <Vantrel/Format.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "logfile_support.h"

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

constexpr int warm_up_records = 20;
constexpr int counted_records = 200;

// Active at level M, with files far larger than the test writes.
void use_settings(const std::string& logdir, unsigned mask) {
  Vantrel::Admin::logdir(logdir);
  Vantrel::Config config;
  config.active = true;
  config.size = 1000000;
  config.display_mask = mask;
  config.workflow_names_display_width = 10;
  config.actors_display_width = 6;
  config.set_consultant("a consultant name longer than fifteen");
  Vantrel::Admin::config(config);
}

// Allocations made by `count` calls of `write(i)` after warm-up calls.
template <class Write>
long allocations_in_steady_state(Write write) {
  for (int i = 0; i < warm_up_records; ++i) write(i);
  const long before = allocations.load(std::memory_order_relaxed);
  for (int i = 0; i < counted_records; ++i) write(i);
  return allocations.load(std::memory_order_relaxed) - before;
}

void printf_record(int i) {
  Vantrel::Printf{Vantrel::L}("request %d served from cache in 12 ms, size 4096 bytes", i);
}

TEST(allocation_test, filtered_out_message_with_default_settings) {
  // No edit: the settings are pulled from a configuration file that is absent.
  const long count =
      allocations_in_steady_state([](int i) { Vantrel::Printf{Vantrel::XS}("filtered %d", i); });
  EXPECT_EQ(count, 0);
}

TEST(allocation_test, text_records_in_every_column_form) {
  logfile_support::TempDir dir;
  const unsigned masks[] = {Vantrel::none_mask, Vantrel::rank_mask | Vantrel::actors_mask,
                            Vantrel::all_mask & ~Vantrel::debug_mask};
  for (unsigned mask : masks) {
    use_settings(dir.path, mask);
    EXPECT_EQ(allocations_in_steady_state(printf_record), 0) << "mask " << std::hex << mask;
  }
  const long streamed = allocations_in_steady_state(
      [](int i) { VANTREL_LOG(Vantrel::L) << "request " << i << " took " << 1.5 << " ms"; });
  EXPECT_EQ(streamed, 0);
  EXPECT_FALSE(dir.files().empty());
}

TEST(allocation_test, format_front_end_records_and_filtered_messages) {
  logfile_support::TempDir dir;
  use_settings(dir.path, Vantrel::all_mask & ~Vantrel::debug_mask);
  const long written = allocations_in_steady_state([](int i) {
    VANTREL_FORMAT(Vantrel::L, "request {} served in {:.1f} ms, {}", i, 1.5, "from cache");
  });
  EXPECT_EQ(written, 0);
  const long filtered =
      allocations_in_steady_state([](int i) { Vantrel::Format{Vantrel::XS}("filtered {}", i); });
  EXPECT_EQ(filtered, 0);
  EXPECT_FALSE(dir.files().empty());
}

TEST(allocation_test, records_inside_a_workflow_step) {
  using namespace Vantrel::Context;
  logfile_support::TempDir dir;
  use_settings(dir.path, Vantrel::workflow_mask | Vantrel::actors_mask);
  WorkflowScope order(Root(StepFields({"order"}, {"o42"}), SubFields{"alice"}));
  WorkflowScope check(Step(StepFields({"check"}, {"c42"})));
  EXPECT_EQ(allocations_in_steady_state(printf_record), 0);
}

TEST(allocation_test, xml_records) {
  logfile_support::TempDir dir;
  {
    const Vantrel::Context::Device device("alloc", "xml", dir.path, "");
    Vantrel::Context::WithDevice bind(device);
    use_settings(dir.path, Vantrel::none_mask);
    EXPECT_EQ(allocations_in_steady_state(printf_record), 0);
  }
  EXPECT_FALSE(dir.files().empty());
}

}  // namespace
