// ZelTools::Portable: pathnames, file operations, process facts.
// (Placeholder: being written.)
#ifndef VANTREL_ZELTOOLS_PORTABLE_H
#define VANTREL_ZELTOOLS_PORTABLE_H

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

namespace ZelTools {
namespace Portable {
VANTREL_API int getpid();
}
}  // namespace ZelTools

#endif
