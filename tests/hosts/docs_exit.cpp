// Messages at the end of a process: from main, from an atexit handler and
// from a static object's destructor. The library starts before the static
// objects are built and stops after they are destroyed, so all are written.
#include <Vantrel.h>

#include <cstdlib>

struct SaysGoodbye {
  ~SaysGoodbye() { Vantrel::Printf{Vantrel::L}("from a static destructor"); }
} goodbye;

int main() {
  std::atexit([] { Vantrel::Printf{Vantrel::L}("from an atexit handler"); });
  Vantrel::Admin::active(true);
  Vantrel::Printf{Vantrel::L}("from main");
}
