// Prints the names of a destination as the administration interface reports
// them, one "key=value" line each:
//   host_core_env                               the default destination
//   host_core_env NAME LOGEXT LOGDIR CONFIGFILE  a device built from the four
// With QZ_TRACE_ECHO=1 the library's debug lines are mixed into the output.
#include <Vantrel.h>

#include <cstdio>

namespace {

void print_names() {
  std::printf("name=%s\nlogext=%s\nlogdir=%s\nconfigfile=%s\n", Vantrel::Admin::name().c_str(),
              Vantrel::Admin::logext().c_str(), Vantrel::Admin::logdir().c_str(),
              Vantrel::Admin::configfile().c_str());
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5) {
    Vantrel::Context::Device device(argv[1], argv[2], argv[3], argv[4]);
    Vantrel::Context::WithDevice bound(device);
    print_names();
  } else {
    print_names();
  }
  return 0;
}
