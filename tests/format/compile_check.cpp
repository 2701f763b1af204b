// Compiled by compile_check.cmake once per CASE: the good cases must compile,
// the bad ones must be rejected by the compiler.
#include <Vantrel/Format.h>

void write(int port) {
#if CASE == 1  // good, both forms
  VANTREL_FORMAT(Vantrel::L, "listening on port {}", port);
  Vantrel::Format{Vantrel::L}("listening on port {}", port);
#elif CASE == 2  // a placeholder without an argument
  VANTREL_FORMAT(Vantrel::L, "listening on port {} of {}", port);
#elif CASE == 3  // a presentation that does not fit the argument
  VANTREL_FORMAT(Vantrel::L, "listening on port {:s}", port);
#elif CASE == 4  // checked without the macro as C++20
  Vantrel::Format{Vantrel::L}("listening on port {:s}", port);
#endif
}
