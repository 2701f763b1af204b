// The clock of a host process, moved on by the host instead of by waiting.
// This clock_gettime takes the place of the C library's in the whole process
// (the trace library's clock reads it) and adds the milliseconds the host
// has moved its clock on. Included by one source file of a host.
#ifndef VANTREL_TESTS_HOSTS_HOST_CLOCK_H
#define VANTREL_TESTS_HOSTS_HOST_CLOCK_H

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>

namespace host_clock {
// Any thread may read the clock; a plain count, so relaxed order suffices.
inline std::atomic<long long> ahead_ms{0};
inline void advance(long long ms) { ahead_ms.fetch_add(ms, std::memory_order_relaxed); }
}  // namespace host_clock

extern "C" int clock_gettime(clockid_t clock, timespec* now) noexcept {
  const int result = static_cast<int>(::syscall(SYS_clock_gettime, clock, now));
  if (result != 0 || clock != CLOCK_REALTIME) return result;
  const long long ahead = host_clock::ahead_ms.load(std::memory_order_relaxed);
  const long long ns = now->tv_nsec + ahead % 1000 * 1000000;
  now->tv_sec += static_cast<time_t>(ahead / 1000 + ns / 1000000000);
  now->tv_nsec = static_cast<long>(ns % 1000000000);
  return 0;
}

#endif  // VANTREL_TESTS_HOSTS_HOST_CLOCK_H
