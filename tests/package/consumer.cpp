#include <SimpleTime.h>
#include <Vantrel.h>
#include <ZelTools/Portable.h>

#include <cstring>
#include <iostream>

// Built with -std=c++20 and the package's flags after it: the package must not
// bring a language standard of its own.
#ifdef VANTREL_CONSUMER_CXX20
static_assert(__cplusplus >= 202002L, "the package's flags changed the language standard");
#endif

int main() {
  std::cout << ZelTools::Portable::getpid() << ' ' << SimpleTime::clock().now() << '\n';
  // The library found at run time is the one whose headers were compiled in.
  return std::strcmp(Vantrel::version(), VANTREL_VERSION_STRING) == 0 ? 0 : 1;
}
