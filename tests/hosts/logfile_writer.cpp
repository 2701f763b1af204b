// Writes numbered messages "m1", "m2", ... through the public interface.
//
//   host_logfile_writer rotate COUNT SIZE KEEP  active settings of SIZE records
//                                               per file, KEEP 0 or 1; the clock
//                                               advances during every message
//   host_logfile_writer asserts COUNT           default (inactive) settings:
//                                               only Assert messages pass
//   host_logfile_writer unwind 2               Assert "m1" from a destructor
//                                               while an exception unwinds,
//                                               then Assert "m2"
//   host_logfile_writer device COUNT EXT        Assert messages through a
//                                               device with log extension EXT
#include <Vantrel.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

void write_messages(const Vantrel::Importance& importance, int count) {
  for (int i = 1; i <= count; ++i) {
    Vantrel::Printf{importance}("m%d", i);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

struct AssertOnUnwind {
  ~AssertOnUnwind() { Vantrel::Printf{Vantrel::Assert}("m1"); }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return 2;
  const int count = std::atoi(argv[2]);
  if (std::strcmp(argv[1], "rotate") == 0 && argc == 5) {
    Vantrel::Admin::active(true);
    Vantrel::Admin::size(static_cast<unsigned>(std::atoi(argv[3])));
    Vantrel::Admin::keep(std::strcmp(argv[4], "1") == 0);
    write_messages(Vantrel::M, count);
    return 0;
  }
  if (std::strcmp(argv[1], "asserts") == 0) {
    write_messages(Vantrel::Assert, count);
    write_messages(Vantrel::Warning, 1);  // inactive: not written
    return 0;
  }
  if (std::strcmp(argv[1], "unwind") == 0) {
    try {
      AssertOnUnwind record;
      throw std::runtime_error("unwinding");
    } catch (const std::runtime_error&) {
    }
    Vantrel::Printf{Vantrel::Assert}("m2");
    return 0;
  }
  if (std::strcmp(argv[1], "device") == 0 && argc == 4) {
    const Vantrel::Context::Device device("db", argv[3], "", "");
    const Vantrel::Context::WithDevice with_device(device);
    write_messages(Vantrel::Assert, count);
    return 0;
  }
  return 2;
}
