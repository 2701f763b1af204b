// Writes records "c1", "c2", ... as fast as it can, forever, and reports on
// its standard output the number of every record whose logger has ended, so
// that a test can kill it with SIGKILL and then look for those records.
// Run with QZ_TRACE_LOGDIR (and QZ_TRACE_XML=1 for XML).
//
//   host_reliability_crash SIZE   active settings, SIZE records per file, keep
#include <Vantrel.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Vantrel::Admin::active(true);
  Vantrel::Admin::keep(true);
  Vantrel::Admin::size(static_cast<unsigned>(std::atoi(argv[1])));
  for (unsigned long n = 1;; ++n) {
    Vantrel::Printf{Vantrel::M}("c%lu", n);
    std::printf("%lu\n", n);
    std::fflush(stdout);
  }
}
