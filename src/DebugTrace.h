// The library's internal debug trace.
//
// When the echo flag is on (QZ_TRACE_ECHO is "1", read once at library start)
// the library writes lines of the form
//   "../src/.\Vantrel", line 123: (Thr-4711): LogFile::do_header_file (): opened '...'
// to the standard output. The line number is that of the statement that wrote
// the line. Pointers print in the stream's pointer format, booleans as 1 or 0.
//
// Usage:  VANTREL_DEBUG("Logos::Logos (), this=" << static_cast<const void*>(this));
// The inserted expressions are evaluated only when the echo flag is on.
#ifndef VANTREL_SRC_DEBUGTRACE_H
#define VANTREL_SRC_DEBUGTRACE_H

#include <atomic>
#include <sstream>
#include <string>

namespace Vantrel {
namespace Debug {

// The echo flag. Set once by the library's start, before host threads write;
// relaxed loads suffice because it never changes while others read it.
extern std::atomic<bool> echo_flag;

inline bool echo_on() { return echo_flag.load(std::memory_order_relaxed); }

// Writes one complete debug line (prefix, text, end of line) to the standard
// output in a single write, so lines of different threads never mix.
void write_line(int source_line, const std::string& text);

}  // namespace Debug
}  // namespace Vantrel

// The text is built in a cold, out-of-line lambda, so that a function
// holding a debug line keeps a lean frame on its usual path (the trace off).
#if defined(__GNUC__) || defined(__clang__)
#define VANTREL_DEBUG_COLD __attribute__((noinline, cold))
#define VANTREL_DEBUG_UNLIKELY(condition) __builtin_expect(!!(condition), 0)
#else
#define VANTREL_DEBUG_COLD
#define VANTREL_DEBUG_UNLIKELY(condition) (condition)
#endif

#define VANTREL_DEBUG(expr)                                                \
  do {                                                                     \
    if (VANTREL_DEBUG_UNLIKELY(::Vantrel::Debug::echo_on())) {             \
      [&]() VANTREL_DEBUG_COLD {                                           \
        std::ostringstream vantrel_debug_text_;                            \
        vantrel_debug_text_ << expr;                                       \
        ::Vantrel::Debug::write_line(__LINE__, vantrel_debug_text_.str()); \
      }();                                                                 \
    }                                                                      \
  } while (0)

#endif  // VANTREL_SRC_DEBUGTRACE_H
