// Prints a destination's names as the administration interface reports them,
// one "key=value" line each: the default destination's, or with four
// arguments NAME LOGEXT LOGDIR CONFIGFILE those of a device built from them
// and bound to the thread. Builds a plain device too and ends with a message
// the default settings drop, so that with QZ_TRACE_ECHO set every device and
// record operation leaves its debug line.
#include <Vantrel.h>

#include <cstdio>
#include <memory>

int main(int argc, char** argv) {
  using namespace Vantrel;
  const Context::Device plain;
  {
    std::unique_ptr<Context::Device> device;
    if (argc == 5) device = std::make_unique<Context::Device>(argv[1], argv[2], argv[3], argv[4]);
    Context::WithDevice bound(device.get());
    std::printf("name=%s\nlogext=%s\nlogdir=%s\nconfigfile=%s\n", Admin::name().c_str(),
                Admin::logext().c_str(), Admin::logdir().c_str(), Admin::configfile().c_str());
    std::fflush(stdout);
  }
  Printf{M}("not active");
  return 0;
}
