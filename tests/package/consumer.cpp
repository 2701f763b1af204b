#include <SimpleTime.h>
#include <Vantrel.h>
#include <ZelTools/Portable.h>

#include <iostream>

int main() {
  std::cout << ZelTools::Portable::getpid() << ' ' << SimpleTime::clock().now() << '\n';
  return 0;
}
