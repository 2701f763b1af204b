// Builds devices, binds one and writes a message, so that with QZ_TRACE_ECHO
// set the context's debug lines appear on the standard output.
#include <Vantrel.h>

int main() {
  Vantrel::Context::Device plain;
  Vantrel::Context::Device device("echodev", "log", "/nonexistent-dir", "/nonexistent-dir/e.ini");
  {
    Vantrel::Context::WithDevice binding(device);
    Vantrel::Context::get_data();
  }
  Vantrel::Printf{Vantrel::M}("not active");
  return 0;
}
