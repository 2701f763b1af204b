// Prints a destination's names, one "key=value" line each: the default
// destination's, or with NAME LOGEXT LOGDIR CONFIGFILE a bound device's. Its
// plain device and dropped message show every device echo line.
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
}
