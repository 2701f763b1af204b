// goodbye: messages from main, an atexit handler and a static object's
// destructor. The library outlives the static objects, so all three are
// written, and an XML document is completed after the last of them.
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
