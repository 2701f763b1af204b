// The calling thread's kernel thread id (as `ps -L` and `top -H` show it),
// read once per thread (and again in a forked child) and cached in a thread-local variable.
#ifndef VANTREL_ZELTOOLS_NATIVE_THREADID_H
#define VANTREL_ZELTOOLS_NATIVE_THREADID_H

namespace ZelTools {
namespace Native {

unsigned long current_thread_id();

// Called in a forked child (the library's fork handler): the forking thread
// has a new id there, read again at its next current_thread_id().
void note_fork() noexcept;

}  // namespace Native
}  // namespace ZelTools

#endif  // VANTREL_ZELTOOLS_NATIVE_THREADID_H
