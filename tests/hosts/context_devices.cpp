// Writes one message inside two nested device bindings, one after the inner
// binding ends and one after the outer ends: "inner" goes to ctxtwo's log,
// "middle" to ctxone's, "outer" to the default destination's. argv[1] is the
// log directory of the two devices.
#include <Vantrel.h>

#include <string>

using namespace Vantrel;

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string dir = argv[1];
  Admin::active(true);  // the default destination: no record on this thread
  Context::Device d1("ctxone", "log", dir, dir + "/absent.ini");
  Context::Device d2("ctxtwo", "log", dir, dir + "/absent.ini");
  {
    Context::WithDevice outer(d1);
    Admin::active(true);
    {
      Context::WithDevice inner(&d2);
      Admin::active(true);
      Printf{Vantrel::M}("inner");
    }
    Printf{Vantrel::M}("middle");
  }
  Printf{Vantrel::M}("outer");
  return 0;
}
