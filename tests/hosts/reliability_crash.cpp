// host_reliability_crash SIZE: writes records "c1", "c2", ... forever, SIZE to
// a file, keeping every file, and prints each number whose logger has ended.
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
