// The crash handler: when the host dies on SIGSEGV, SIGBUS, SIGFPE, SIGILL
// or SIGABRT, one last record in the crashing thread's log file tells which
// signal, where, in which workflow step and for which actors, with the stack.
//
// Opt-in: installed by Admin::install_crash_handler() or at library start
// when QZ_TRACE_CRASH is "1", never by default, and never removed. Installing
// keeps the dispositions the host had set, and the handler chains to them
// after writing its record; it then restores the default action and raises
// the signal again, so the exit status and any core dump are those the host
// would have had without it.
//
// The handler runs on the crashing thread, on the alternate signal stack of
// the thread that installed it (other threads use their own stack). It is
// async-signal-safe: it formats with its own routines into buffers reserved
// at install, allocates nothing and writes with write(2) alone. It never
// waits without a bound: the message lock is taken only when free within a
// short wait (it is ignored when the crashing thread holds it, or when the
// wait runs out), and a second thread that crashes while a record is being
// written waits a bounded time and then writes to standard error only.
//
// A crash record in a text log file, one line with every column shown (cut
// here after the tag mark), then the stack frames on lines without a head,
// as a message's further lines are:
//   2026/12/06 14:55:01.123|>>|A| | 4242|4242| |
//       2|0|1|0|order|17|order|17|check|3|ann|||Crash: SIGSEGV (signal 11) at address 0x10
//     #0 /usr/bin/server(_Z5checkv+0x1a) [0x55d0c0a0b1c2]
//     #1 /usr/bin/server(main+0x8f) [0x55d0c0a0b3f0]
// In an XML log file it is a Msg element with Crash and Stack children,
// followed by the document's end tag. Standard error receives the text form.
#ifndef VANTREL_SRC_CRASHHANDLER_H
#define VANTREL_SRC_CRASHHANDLER_H

#include <cstddef>
#include <cstdint>

namespace Vantrel {
namespace Crash {

// Installs the handlers of the five fatal signals (once per process; later
// calls do nothing). True when they are installed.
bool install();

// True once install() has succeeded.
bool installed();

// A bounded text buffer that never allocates: what does not fit is dropped.
class Text {
 public:
  Text(char* buffer, std::size_t capacity) : buffer_(buffer), capacity_(capacity) {}

  void put(const char* text, std::size_t length);
  void put(const char* text);
  void put(char c) { put(&c, 1); }
  // Decimal, right-aligned in `width` blanks (0: no fill).
  void decimal(std::uint64_t value, std::size_t width = 0);
  void signed_decimal(std::int64_t value);
  // Decimal with leading zeros to `digits` places.
  void zero_padded(std::uint64_t value, std::size_t digits);
  // "0x" and lower-case hexadecimal digits.
  void hex(std::uintptr_t value);
  // Text as an XML attribute value or character content: markup characters
  // as entities; tab, line feed, carriage return and 0x7F as character
  // references; other control characters as the reference of their control
  // picture (0x01 => "&#9217;"); ill-formed UTF-8 as "&#65533;".
  void xml(const char* text, std::size_t length);

  const char* data() const { return buffer_; }
  std::size_t size() const { return size_; }
  void clear() { size_ = 0; }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t size_ = 0;
};

// "2007/10/18 21:21:07.045" for `ms` milliseconds since 1970-01-01 UTC.
void put_utc_time(Text& out, std::int64_t ms);

// The name of a fatal signal ("SIGSEGV"), or "signal" for any other.
const char* signal_name(int signal);

}  // namespace Crash
}  // namespace Vantrel

#endif  // VANTREL_SRC_CRASHHANDLER_H
