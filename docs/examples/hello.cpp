// hello: the smallest host. Its settings come from hello_trace.ini in the
// current directory (the process name followed by "_trace.ini").
#include <Vantrel.h>

int main() {
  Vantrel::Printf{Vantrel::L}("listening on port %d", 8080);
  VANTREL_LOG(Vantrel::Warning) << "disk " << 93 << "% full";
  Vantrel::Printf{Vantrel::M}("not written: below the threshold L");
}
