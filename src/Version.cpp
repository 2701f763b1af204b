// The library's own version, compiled in from the same header the host sees.
#include <Vantrel.h>

namespace Vantrel {

const char* version() { return VANTREL_VERSION_STRING; }

}  // namespace Vantrel
