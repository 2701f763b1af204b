// The message lock beside the standard locks it could be replaced by.
//
// Cases, each "<case>/<lock>" with lock one of message_lock (the hand-made
// futex lock), std_mutex and std_recursive_mutex:
//   uncontended  one thread takes and gives back one level
//   nested       one thread takes a second level while holding the first
//                (std::mutex cannot, so it has no row)
//   handover     two threads take turns on one lock, each holding it for a
//                record-sized piece of work (a short copy)
// The message lock stands where std::recursive_mutex would, and also counts
// the depth and the largest depth of every record; these cases say what that
// costs or saves against both standard locks.
#include <benchmark/benchmark.h>

#include <cstring>
#include <mutex>
#include <thread>

#include "zeltools/native/Native.h"

namespace {

using ZelTools::Native::RecursiveLock;

// The work done under the lock in the handover case: about a record's copy.
void record_work() {
  char from[128];
  char to[128];
  std::memset(from, 'x', sizeof from);
  benchmark::DoNotOptimize(from);
  std::memcpy(to, from, sizeof to);
  benchmark::DoNotOptimize(to);
}

template <class Lock>
void uncontended(benchmark::State& state) {
  Lock lock;
  for (auto _ : state) {
    lock.lock();
    benchmark::ClobberMemory();
    lock.unlock();
  }
}

// Takes a level it already holds: what a recursive lock is for, and what the
// thread-safety analysis rejects.
template <class Lock>
VANTREL_NO_THREAD_SAFETY_ANALYSIS void nested(benchmark::State& state) {
  Lock lock;
  lock.lock();
  for (auto _ : state) {
    lock.lock();
    benchmark::ClobberMemory();
    lock.unlock();
  }
  lock.unlock();
}

// One lock shared by the benchmark's threads (built before they start).
template <class Lock>
Lock& shared_lock() {
  static Lock lock;
  return lock;
}

template <class Lock>
void handover(benchmark::State& state) {
  Lock& lock = shared_lock<Lock>();
  for (auto _ : state) {
    lock.lock();
    record_work();
    lock.unlock();
  }
}

}  // namespace

BENCHMARK_TEMPLATE(uncontended, RecursiveLock)->Name("uncontended/message_lock");
BENCHMARK_TEMPLATE(uncontended, std::mutex)->Name("uncontended/std_mutex");
BENCHMARK_TEMPLATE(uncontended, std::recursive_mutex)->Name("uncontended/std_recursive_mutex");
BENCHMARK_TEMPLATE(nested, RecursiveLock)->Name("nested/message_lock");
BENCHMARK_TEMPLATE(nested, std::recursive_mutex)->Name("nested/std_recursive_mutex");
BENCHMARK_TEMPLATE(handover, RecursiveLock)->Name("handover/message_lock")->Threads(2);
BENCHMARK_TEMPLATE(handover, std::mutex)->Name("handover/std_mutex")->Threads(2);
BENCHMARK_TEMPLATE(handover, std::recursive_mutex)
    ->Name("handover/std_recursive_mutex")
    ->Threads(2);

// glibc drops the bus lock from its mutexes while a process has never had a
// second thread, which no tracing host is; one thread started and joined
// first makes the standard locks pay what they pay in a host.
int main(int argc, char** argv) {
  std::thread([] {}).join();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
