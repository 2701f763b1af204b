// host_reliability_hostile COUNT: Assert records "r1".."rCOUNT", one every
// 5 ms; host_reliability_hostile config: "parse true" or "parse false" for
// QZ_TRACE_CONFIGFILE through Config::parse, then a record. Then "alive".
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
    Vantrel::Printf{Vantrel::Assert}("after");
  }
  for (int n = 1; n <= std::atoi(argv[1]); ++n) {
    Vantrel::Printf{Vantrel::Assert}("r%d", n);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::printf("alive\n");
}
