// A host that keeps writing while its surroundings turn against it. Each
// step writes one Assert record "<step>-<n>" and reports "wrote <step>-<n>"
// on its standard output; the test changes the world between steps through
// the files named below.
//
//   host_reliability_hostile COUNT   writes COUNT records, one every 5 ms,
//                                    then prints "alive" and exits 0
//   host_reliability_hostile config  parses the configuration file named by
//                                    QZ_TRACE_CONFIGFILE through Config::parse
//                                    and prints "parse true" or "parse false"
#include <Vantrel.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <thread>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  if (std::strcmp(argv[1], "config") == 0) {
    const char* path = std::getenv("QZ_TRACE_CONFIGFILE");
    std::ifstream in(path ? path : "");
    Vantrel::Config config;
    std::printf("parse %s\n", config.parse(in) ? "true" : "false");
    // Messages still flow after a hostile configuration file.
    Vantrel::Printf{Vantrel::Assert}("after");
    std::printf("alive\n");
    return 0;
  }
  const int count = std::atoi(argv[1]);
  for (int n = 1; n <= count; ++n) {
    Vantrel::Printf{Vantrel::Assert}("r%d", n);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("alive\n");
  return 0;
}
