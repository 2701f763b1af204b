// The trace core's process-wide state, created by the first VantrelInitExit
// and destroyed by the last one (src/Vantrel.cpp):
//
//   - the four flag variables, read once per process from QZ_TRACE_ECHO,
//     QZ_TRACE_DEBUG, QZ_TRACE_TO_SCREEN and QZ_TRACE_XML;
//   - the default destination (a Logos);
//   - the thread-local slot holding each thread's context record.
//
// Start and stop run during static initialisation and termination, on one
// thread, before host threads use the library; the pointers below are
// published with release stores and read with acquire loads, so a thread that
// finds them non-null also sees the objects they point to.
#ifndef VANTREL_SRC_LIBRARY_H
#define VANTREL_SRC_LIBRARY_H

#include <string>

#include "zeltools/native/Native.h"

namespace Vantrel {

class Logos;
namespace Context {
struct Data;
}

// The thread-local slot of the context records. Created by the library's
// start, destroyed by its stop; records still installed are not destroyed.
class TlsData {
 public:
  TlsData() = default;  // throws ZelTools::Native::CannotCreateTls
  TlsData(const TlsData&) = delete;
  TlsData& operator=(const TlsData&) = delete;

  // The calling thread's record, or null.
  Context::Data* get() const { return static_cast<Context::Data*>(slot_.get()); }
  // Stores the calling thread's record; returns the one it replaces.
  // Throws ZelTools::Native::CannotSetTls.
  Context::Data* set(Context::Data* data) { return static_cast<Context::Data*>(slot_.set(data)); }

 private:
  ZelTools::Native::Tls slot_;
};

// The thread-local slot, or null while the library is stopped.
TlsData* tls_data();

// The default destination, or null while the library is stopped.
Logos* default_logos();

// The environment: "QZ_TRACE_" + name.
namespace Env {

// The variable's text, or `default_value` when it is unset or the process
// is privileged (below): a setuid or setgid host reads no QZ_TRACE_ variable.
std::string env(const std::string& name, const std::string& default_value);
// The process runs with privileges its caller lacks (setuid, setgid or file
// capabilities: the kernel's AT_SECURE), so its environment and current
// directory are the caller's to choose and are not trusted.
bool privileged();
// True exactly when the variable's text is "1".
bool flag(const std::string& name);

// The four flags as read at the first start of the process (false before).
bool echo();
bool debug();
bool to_screen();
bool xml();

}  // namespace Env
}  // namespace Vantrel

#endif  // VANTREL_SRC_LIBRARY_H
