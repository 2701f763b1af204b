#include <ostream>

#include "SimpleTime.h"

namespace SimpleTime {

Exception::~Exception() {}

std::ostream& Exception::print(std::ostream& os) const {
  return os << "unknown SimpleTime::Exception";
}

std::ostream& IncorrectUtcTime::print(std::ostream& os) const {
  return os << "incorrect SimpleTime::UtcTime";
}

std::ostream& DivideByZero::print(std::ostream& os) const {
  return os << "cannot DivideByZero a SimpleTime::Duration";
}

}  // namespace SimpleTime
