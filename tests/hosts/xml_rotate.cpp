// Writes argv[1] messages (7 by default) to the default destination with
// size 3; the last one with its source position. With argv[2] "keep", full
// files are kept. Run with QZ_TRACE_XML=1 and QZ_TRACE_LOGDIR (or
// QZ_TRACE_TO_SCREEN=1) to get XML documents.
#include <Vantrel.h>

#include <cstdlib>
#include <string>

#include "host_clock.h"

int main(int argc, char** argv) {
  int const count = argc > 1 ? std::atoi(argv[1]) : 7;
  Vantrel::Admin::active(true);
  Vantrel::Admin::size(3);
  if (argc > 2 && std::string(argv[2]) == "keep") Vantrel::Admin::keep(true);
  for (int i = 1; i < count; ++i) {
    Vantrel::Printf{Vantrel::M}("message %d <&> \"q\"\ttab", i);
    host_clock::advance(1);  // a full file is replaced at once
  }
  if (count > 0) VANTREL_LOG(Vantrel::Warning) << "last " << count;
  return 0;
}
