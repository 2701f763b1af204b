// Runs its standard input through the shared library's Config::parse (names
// from the QZ_TRACE_ variables) and prints the settings; exit status 0 or 1.
#include <iostream>

#include "Vantrel.h"

int main() {
  Vantrel::Config config;
  if (!config.parse(std::cin)) return 1;
  config.print(std::cout) << std::endl;
}
