// Writes numbered messages "m1 <&> "q"<tab>tab", ..., the last one "last
// COUNT" with its source position, through the public interface:
//   rotate COUNT SIZE KEEP  active settings of SIZE records a file, KEEP 0 or 1
//   unwind                  default (inactive) settings: Assert "m1" from a
//                           destructor while an exception unwinds, Assert "m2",
//                           Warning "m3"
#include <Vantrel.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace {

// How far the host has moved its clock on; any thread may read it, a plain
// count, so relaxed order suffices.
std::atomic<long long> ahead_ms{0};

struct AssertOnUnwind {
  ~AssertOnUnwind() { Vantrel::Printf{Vantrel::Assert}("m1"); }
};

}  // namespace

// Takes the place of the C library's clock in the whole process, so that the
// library's clock moves on when the host says so instead of by waiting.
extern "C" int clock_gettime(clockid_t clock, timespec* now) noexcept {
  const int result = static_cast<int>(::syscall(SYS_clock_gettime, clock, now));
  if (result != 0 || clock != CLOCK_REALTIME) return result;
  const long long ahead = ahead_ms.load(std::memory_order_relaxed);
  const long long ns = now->tv_nsec + ahead % 1000 * 1000000;
  now->tv_sec += static_cast<time_t>(ahead / 1000 + ns / 1000000000);
  now->tv_nsec = static_cast<long>(ns % 1000000000);
  return 0;
}

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "rotate" && argc == 5) {
    Vantrel::Admin::active(true);
    Vantrel::Admin::size(static_cast<unsigned>(std::atoi(argv[3])));
    Vantrel::Admin::keep(std::string(argv[4]) == "1");
    const int count = std::atoi(argv[2]);
    for (int i = 1; i < count; ++i) {
      Vantrel::Printf{Vantrel::M}("m%d <&> \"q\"\ttab", i);
      ahead_ms.fetch_add(1, std::memory_order_relaxed);  // a full file is replaced at once
    }
    VANTREL_LOG(Vantrel::M) << "last " << count;
  } else if (mode == "unwind") {
    try {
      AssertOnUnwind record;
      throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    Vantrel::Printf{Vantrel::Assert}("m2");
    Vantrel::Printf{Vantrel::Warning}("m3");
  } else {
    return 2;
  }
  return 0;
}
