// Internal: filling the nine importance constants at library start, and the
// number of levels (XS .. XL), whose marks Importance::level_name gives.
#ifndef VANTREL_SRC_IMPORTANCECONSTANTS_H
#define VANTREL_SRC_IMPORTANCECONSTANTS_H

namespace Vantrel {
constexpr int importance_level_count = 5;

// Gives XS .. Assert their values. Called once by the library's start, before
// host threads can read the constants.
void fill_importance_constants();
}  // namespace Vantrel

#endif
