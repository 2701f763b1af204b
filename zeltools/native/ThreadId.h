// The calling thread's kernel thread id (as `ps -L` and `top -H` show it),
// read once per thread and cached in a thread-local variable.
#ifndef VANTREL_SRC_THREADID_H
#define VANTREL_SRC_THREADID_H

namespace Vantrel {
namespace Native {

unsigned long current_thread_id();

}  // namespace Native
}  // namespace Vantrel

#endif  // VANTREL_SRC_THREADID_H
