// Four threads write 50 messages each to the default destination, with size 7
// and full files kept. Run with QZ_TRACE_XML=1 and QZ_TRACE_LOGDIR.
#include <Vantrel.h>

#include <thread>
#include <vector>

int main() {
  Vantrel::Admin::active(true);
  Vantrel::Admin::size(7);
  Vantrel::Admin::keep(true);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 50; ++i) Vantrel::Printf{Vantrel::M}("thread %d <%d>", t, i);
    });
  }
  for (std::thread& thread : threads) thread.join();
  return 0;
}
