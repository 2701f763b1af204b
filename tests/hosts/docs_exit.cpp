// Messages at the end of a process, for the guide's page on exit: from main,
// from an atexit handler and from the destructor of a static object. The
// library starts before the program's static objects are built and stops
// after they are destroyed, so all three are written.
#include <Vantrel.h>

#include <cstdlib>

namespace {

struct SaysGoodbye {
  ~SaysGoodbye() { Vantrel::Printf{Vantrel::L}("from a static destructor"); }
};

SaysGoodbye goodbye;

void at_exit() { Vantrel::Printf{Vantrel::L}("from an atexit handler"); }

}  // namespace

int main() {
  std::atexit(at_exit);
  Vantrel::Admin::active(true);
  Vantrel::Printf{Vantrel::L}("from main");
}
