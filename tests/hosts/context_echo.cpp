// Builds devices, binds one and writes a message, so that with QZ_TRACE_ECHO
// set the context's debug lines appear on the standard output.
#include <Vantrel.h>

using namespace Vantrel;

int main() {
  Context::Device plain;
  Context::Device device("echodev", "log", "/nonexistent-dir", "/nonexistent-dir/echo.ini");
  {
    Context::WithDevice binding(device);
    Context::get_data();
  }
  Printf{Vantrel::M}("not active");
  return 0;
}
