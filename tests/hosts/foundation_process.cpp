// Prints the process facts, one per line: the name, the argument count, then
// each argument in brackets, then the process id.
#include <iostream>

#include "ZelTools/Portable.h"

int main() {
  ZelTools::Portable::Process process;
  std::cout << process.name() << '\n' << process.argc() << '\n';
  for (const auto& arg : process.args()) std::cout << '[' << arg << "]\n";
  std::cout << process.id() << '\n';
}
