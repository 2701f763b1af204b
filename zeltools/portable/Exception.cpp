#include "ZelTools/Portable.h"

#include <ostream>

namespace ZelTools {

Exception::Exception() : std::runtime_error("ZelTools::Exception") {}

Exception::Exception(Exception const& other) : std::runtime_error(other) {}

// Pure, so only derived classes can be made; still needs a body, as every
// derived destructor calls it.
Exception::~Exception() {}

std::ostream& Exception::print(std::ostream& os) const { return os << what(); }

}  // namespace ZelTools
