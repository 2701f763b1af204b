// The calling thread's kernel thread id (as `ps -L` and `top -H` show it),
// read once per thread and cached in a thread-local variable.
#ifndef VANTREL_ZELTOOLS_NATIVE_THREADID_H
#define VANTREL_ZELTOOLS_NATIVE_THREADID_H

namespace ZelTools {
namespace Native {

unsigned long current_thread_id();

}  // namespace Native
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_NATIVE_THREADID_H
