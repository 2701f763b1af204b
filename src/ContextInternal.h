// Internal side of the execution context.
//
// Each thread's Context::Data lives in the library's thread-local slot. It is
// created by install_data() (called by WithContext, and so by WithDevice and
// the workflow scopes, and by the cross-call interface) and destroyed by
// uninstall_data() when the object that installed it ends. Only the owning
// thread reaches its record, so none of this takes a lock.
#ifndef VANTREL_SRC_CONTEXTINTERNAL_H
#define VANTREL_SRC_CONTEXTINTERNAL_H

#include "Vantrel.h"

namespace Vantrel {
namespace Context {

// The calling thread's record, created and stored in the slot when there was
// none; `is_owner` tells whether this call created it. Throws
// ZelTools::Native::CannotSetTls when the slot cannot be written.
Data* install_data(bool& is_owner);

// Destroys the calling thread's record, if any, and clears the slot.
void uninstall_data();

// The destination of messages written with `data`: data->logos(), or the
// default destination when `data` is null.
Logos* get_logos(Data* data);

}  // namespace Context
}  // namespace Vantrel

#endif  // VANTREL_SRC_CONTEXTINTERNAL_H
