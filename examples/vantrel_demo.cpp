#include <Vantrel.h>
#include <iostream>
int main() { std::cout << "pid " << ZelTools::Portable::getpid() << '\n'; }
