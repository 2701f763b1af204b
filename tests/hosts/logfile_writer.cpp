// Writes numbered messages "m1", "m2", ... through the public interface.
//
//   host_logfile_writer rotate COUNT SIZE KEEP  active settings of SIZE records
//                                               per file, KEEP 0 or 1; the clock
//                                               moves on during every message
//   host_logfile_writer unwind                  default (inactive) settings:
//                                               Assert "m1" from a destructor
//                                               while an exception unwinds,
//                                               Assert "m2", Warning "m3"
//   host_logfile_writer device COUNT EXT        Assert messages through a
//                                               device with log extension EXT
#include <Vantrel.h>

#include <cstdlib>
#include <stdexcept>
#include <string>

#include "host_clock.h"

namespace {

void write_messages(const Vantrel::Importance& importance, int count) {
  for (int i = 1; i <= count; ++i) {
    Vantrel::Printf{importance}("m%d", i);
    host_clock::advance(1);
  }
}

struct AssertOnUnwind {
  ~AssertOnUnwind() { Vantrel::Printf{Vantrel::Assert}("m1"); }
};

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "rotate" && argc == 5) {
    Vantrel::Admin::active(true);
    Vantrel::Admin::size(static_cast<unsigned>(std::atoi(argv[3])));
    Vantrel::Admin::keep(std::string(argv[4]) == "1");
    write_messages(Vantrel::M, std::atoi(argv[2]));
  } else if (mode == "unwind") {
    try {
      AssertOnUnwind record;
      throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    Vantrel::Printf{Vantrel::Assert}("m2");
    Vantrel::Printf{Vantrel::Warning}("m3");
  } else if (mode == "device" && argc == 4) {
    const Vantrel::Context::Device device("db", argv[3], "", "");
    const Vantrel::Context::WithDevice with_device(device);
    write_messages(Vantrel::Assert, std::atoi(argv[2]));
  } else {
    return 2;
  }
  return 0;
}
