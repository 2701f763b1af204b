// Internal: filling the nine importance constants at library start.
#ifndef VANTREL_SRC_IMPORTANCECONSTANTS_H
#define VANTREL_SRC_IMPORTANCECONSTANTS_H

namespace Vantrel {
// Gives XS .. Assert their values. Called once by the library's start, before
// host threads can read the constants.
void fill_importance_constants();
}  // namespace Vantrel

#endif
