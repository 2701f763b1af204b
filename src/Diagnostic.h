// One-line diagnostics on standard error for conditions a host must hear of
// even with the debug trace off: a log file that cannot be opened, a
// configuration file that is refused. Each line starts with "vantrel: " and
// is written with a single write(2), so lines of different threads never mix.
//
// Example: "vantrel: cannot open log file /var/log/app/x_trace.log: Permission denied"
#ifndef VANTREL_SRC_DIAGNOSTIC_H
#define VANTREL_SRC_DIAGNOSTIC_H

#include <string>
#include <string_view>

namespace Vantrel {
namespace Diagnostic {

// Writes "vantrel: " + text + "\n" to file descriptor 2. The caller's errno
// is kept. Never throws; a failed write is ignored (there is nowhere else to
// report it).
void write_line(std::string_view text) noexcept;

// True the first time a key is seen in this process, false afterwards. Keys
// name what is reported ("config:<path>:<reason>"), so that a condition that
// persists is said once, not at every message. Thread-safe.
bool first_time(const std::string& key) noexcept;

// Forgets one key: the condition it names was seen to end (a log file of the
// destination opened), so a new occurrence is said again.
void forget(const std::string& key) noexcept;

// Forgets every key (a forked child is a new process for the library).
void forget_all() noexcept;

// Fork handlers: before fork() the keys' mutex is taken, so that no thread
// holds it half-way through a change at the fork; after it, the parent and
// the child give it back.
void before_fork() noexcept;
void after_fork() noexcept;

}  // namespace Diagnostic
}  // namespace Vantrel

#endif  // VANTREL_SRC_DIAGNOSTIC_H
