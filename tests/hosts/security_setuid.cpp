// A setuid program's host: prints its default destination's names, then
// writes one assert record (which reads the configuration file first).
#include <Vantrel.h>

#include <cstdio>

int main() {
  std::printf("name=%s\nlogdir=%s\nconfigfile=%s\n", Vantrel::Admin::name().c_str(),
              Vantrel::Admin::logdir().c_str(), Vantrel::Admin::configfile().c_str());
  std::fflush(stdout);
  Vantrel::Printf{Vantrel::Assert}("record of a privileged host");
}
