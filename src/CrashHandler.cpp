#include "CrashHandler.h"

#include <Vantrel.h>
#include <dlfcn.h>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>
#include <time.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <iterator>
#include <mutex>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"
#include "XmlOfstream.h"

namespace Vantrel {
namespace Crash {

// ---------------------------------------------------------------------------
// Formatting: plain copies into a fixed buffer, nothing else.
// ---------------------------------------------------------------------------

void Text::put(const char* text, std::size_t length) {
  const std::size_t room = capacity_ - size_;
  if (length > room) length = room;
  std::memcpy(buffer_ + size_, text, length);
  size_ += length;
}

void Text::put(const char* text) { put(text, std::strlen(text)); }

void Text::decimal(std::uint64_t value, std::size_t width) {
  char digits[20];
  std::size_t count = 0;
  do {
    digits[sizeof digits - ++count] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  for (; width > count; --width) put(' ');
  put(digits + sizeof digits - count, count);
}

void Text::signed_decimal(std::int64_t value) {
  if (value < 0) put('-');
  decimal(value < 0 ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value));
}

void Text::zero_padded(std::uint64_t value, std::size_t digits) {
  char text[20];
  for (std::size_t i = digits; i > 0; --i) {
    text[i - 1] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  put(text, digits);
}

void Text::hex(std::uintptr_t value) {
  char digits[2 * sizeof value];
  std::size_t count = 0;
  do {
    digits[sizeof digits - ++count] = "0123456789abcdef"[value & 0xf];
    value >>= 4;
  } while (value != 0);
  put("0x", 2);
  put(digits + sizeof digits - count, count);
}

namespace {

// The length of the well-formed UTF-8 sequence at `text` (2 to 4), or 0.
std::size_t utf8_sequence(const unsigned char* text, std::size_t length) {
  const unsigned char lead = text[0];
  std::size_t count = 0;
  unsigned char low = 0x80, high = 0xbf;  // range of the second byte
  if (lead >= 0xc2 && lead <= 0xdf) {
    count = 2;
  } else if (lead >= 0xe0 && lead <= 0xef) {
    count = 3;
    if (lead == 0xe0) low = 0xa0;
    if (lead == 0xed) high = 0x9f;
  } else if (lead >= 0xf0 && lead <= 0xf4) {
    count = 4;
    if (lead == 0xf0) low = 0x90;
    if (lead == 0xf4) high = 0x8f;
  }
  if (count == 0 || count > length || text[1] < low || text[1] > high) return 0;
  for (std::size_t i = 2; i < count; ++i) {
    if (text[i] < 0x80 || text[i] > 0xbf) return 0;
  }
  return count;
}

// The bytes of an ill-formed sequence replaced by one U+FFFD: the lead and
// the continuation bytes that could still have belonged to it.
std::size_t ill_formed_length(const unsigned char* text, std::size_t length) {
  std::size_t count = 1;
  while (count < length && count < 4 && text[count] >= 0x80 && text[count] <= 0xbf &&
         text[0] >= 0xc2 && text[0] <= 0xf4) {
    ++count;
  }
  return count;
}

}  // namespace

void Text::xml(const char* text, std::size_t length) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(text);
  for (std::size_t i = 0; i < length;) {
    const unsigned char c = bytes[i];
    if (c >= 0x80) {
      const std::size_t sequence = utf8_sequence(bytes + i, length - i);
      if (sequence != 0) {
        put(text + i, sequence);
        i += sequence;
      } else {
        put("&#65533;");
        i += ill_formed_length(bytes + i, length - i);
      }
      continue;
    }
    ++i;
    switch (c) {
      case '<':
        put("&lt;");
        break;
      case '>':
        put("&gt;");
        break;
      case '&':
        put("&amp;");
        break;
      case '"':
        put("&quot;");
        break;
      case '\t':
      case '\n':
      case '\r':
      case 0x7f:
        put("&#");
        decimal(c);
        put(';');
        break;
      default:
        if (c < 0x20) {
          put("&#");
          decimal(0x2400u + c);
          put(';');
        } else {
          put(static_cast<char>(c));
        }
    }
  }
}

// Days since 1970-01-01 to a civil date (the proleptic Gregorian calendar),
// without gmtime_r, which takes the time-zone lock.
void put_utc_time(Text& out, std::int64_t ms) {
  std::int64_t seconds = ms / 1000;
  std::int64_t millis = ms % 1000;
  if (millis < 0) {
    millis += 1000;
    seconds -= 1;
  }
  std::int64_t days = seconds / 86400;
  std::int64_t second_of_day = seconds % 86400;
  if (second_of_day < 0) {
    second_of_day += 86400;
    days -= 1;
  }
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t day_of_era = z - era * 146097;
  const std::int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const std::int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const std::int64_t mp = (5 * day_of_year + 2) / 153;
  const std::int64_t day = day_of_year - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  out.zero_padded(static_cast<std::uint64_t>(year), 4);
  out.put('/');
  out.zero_padded(static_cast<std::uint64_t>(month), 2);
  out.put('/');
  out.zero_padded(static_cast<std::uint64_t>(day), 2);
  out.put(' ');
  out.zero_padded(static_cast<std::uint64_t>(second_of_day / 3600), 2);
  out.put(':');
  out.zero_padded(static_cast<std::uint64_t>(second_of_day / 60 % 60), 2);
  out.put(':');
  out.zero_padded(static_cast<std::uint64_t>(second_of_day % 60), 2);
  out.put('.');
  out.zero_padded(static_cast<std::uint64_t>(millis), 3);
}

namespace {

// The handled signals; `previous` below keeps the same order.
constexpr int fatal_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr const char* fatal_names[] = {"SIGSEGV", "SIGBUS", "SIGFPE", "SIGILL", "SIGABRT"};
constexpr std::size_t fatal_count = std::size(fatal_signals);

int index_of(int signal) {
  for (std::size_t i = 0; i < fatal_count; ++i) {
    if (fatal_signals[i] == signal) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

const char* signal_name(int signal) {
  const int index = index_of(signal);
  return index < 0 ? "signal" : fatal_names[index];
}

namespace {

// ---------------------------------------------------------------------------
// State reserved at install. Written by install() under install_mutex before
// `installed_flag` is set (release); the handler reads it afterwards only.
// ---------------------------------------------------------------------------

std::mutex install_mutex;
std::atomic<bool> installed_flag{false};
struct sigaction previous[fatal_count];  // the host's dispositions before ours

constexpr std::size_t alt_stack_size = 64 * 1024;
alignas(16) char alt_stack[alt_stack_size];

// Facts of a new log file's name and XML root, made at install.
char process_name[256];
char build_text[256];

// The record's two forms. Only the thread that won `writer_tid` writes them.
constexpr std::size_t record_capacity = 32 * 1024;
char text_buffer[record_capacity];
char xml_buffer[record_capacity];
// The buffer of a second crashing thread, which writes to standard error only.
char late_buffer[record_capacity];

// The kernel id of the thread writing a crash record, 0 before the first
// crash. Claimed by compare-exchange (acq_rel): exactly one thread writes.
std::atomic<long> writer_tid{0};

// How long a crash waits for the message lock, and a second crash for the
// first one's record: long enough for a record in progress, short enough
// that a lock held by a stuck thread never keeps the host from dying.
constexpr int lock_wait_ms = 500;
constexpr int writer_wait_ms = 2000;

void sleep_ms(int ms) {
  timespec pause{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&pause, &pause) != 0 && errno == EINTR) {
  }
}

void write_all(int fd, const char* data, std::size_t length) {
  while (length > 0) {
    const ssize_t written = ::write(fd, data, length);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;
    }
    data += written;
    length -= static_cast<std::size_t>(written);
  }
}

// What the record says about the signal.
struct Fault {
  int signal = 0;
  bool has_address = false;
  std::uintptr_t address = 0;
  std::uintptr_t pc = 0;  // the interrupted instruction, 0 when unknown
};

Fault fault_of(int signal, const siginfo_t* info, const void* context) {
  Fault fault;
  fault.signal = signal;
  // Sent by kill, raise or abort (si_code <= 0): no faulting address.
  fault.has_address = signal != SIGABRT && info != nullptr && info->si_code > 0;
  if (fault.has_address) fault.address = reinterpret_cast<std::uintptr_t>(info->si_addr);
  const auto* uc = static_cast<const ucontext_t*>(context);
  if (uc != nullptr) {
#if defined(__x86_64__)
    fault.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    fault.pc = static_cast<std::uintptr_t>(uc->uc_mcontext.pc);
#endif
  }
  return fault;
}

// "Crash: SIGSEGV (signal 11) at address 0x10"
// "...; cross calls: 1 incoming, 0 outgoing" while the thread serves or
// makes a cross call (nothing otherwise).
void put_description(Text& out, const Fault& fault, const Context::Data* data) {
  out.put("Crash: ");
  out.put(signal_name(fault.signal));
  out.put(" (signal ");
  out.decimal(static_cast<std::uint64_t>(fault.signal));
  out.put(')');
  if (fault.has_address) {
    out.put(" at address ");
    out.hex(fault.address);
  }
  if (data == nullptr || (data->incoming_calls == 0 && data->outgoing_calls == 0)) return;
  out.put("; cross calls: ");
  out.decimal(data->incoming_calls);
  out.put(" incoming, ");
  out.decimal(data->outgoing_calls);
  out.put(" outgoing");
}

// The stack, innermost first, from the interrupted instruction on (the
// handler's own frames are left out when that instruction is found).
struct Stack {
  static constexpr int capacity = 64;
  void* frames[capacity];
  int first = 0;
  int count = 0;
};

void collect_stack(Stack& stack, std::uintptr_t pc) {
  stack.count = backtrace(stack.frames, Stack::capacity);
  for (int i = 0; i < stack.count && pc != 0; ++i) {
    if (reinterpret_cast<std::uintptr_t>(stack.frames[i]) == pc) {
      stack.first = i;
      return;
    }
  }
}

// "binary(function+0x1a) [0x55d0c0a0b1c2]", or "binary(+0x11c2) [...]" when
// the symbol is unknown. `escape` for an XML text.
void put_frame(Text& out, void* frame, bool escape) {
  Dl_info info{};
  const auto pc = reinterpret_cast<std::uintptr_t>(frame);
  const bool known = dladdr(frame, &info) != 0;
  const char* binary = known && info.dli_fname != nullptr ? info.dli_fname : "??";
  const bool named = known && info.dli_sname != nullptr;
  auto put_maybe_escaped = [&](const char* text) {
    if (escape) {
      out.xml(text, std::strlen(text));
    } else {
      out.put(text);
    }
  };
  put_maybe_escaped(binary);
  out.put('(');
  if (named) put_maybe_escaped(info.dli_sname);
  const auto base = reinterpret_cast<std::uintptr_t>(named ? info.dli_saddr : info.dli_fbase);
  if (known && base != 0 && pc >= base) {
    out.put('+');
    out.hex(pc - base);
  }
  out.put(") [");
  out.hex(pc);
  out.put(']');
}

// The SubFields text, which add() keeps up to date: reading it allocates
// nothing.
void put_fields(Text& out, const Context::SubFields& fields, bool escape) {
  const std::string& text = fields.text();
  if (escape) {
    out.xml(text.data(), text.size());
  } else {
    out.put(text.data(), text.size());
  }
}

// The facts of the record besides the context.
struct Head {
  std::int64_t time_ms = 0;
  long pid = 0;
  long tid = 0;
  bool unwinding = false;
  std::uint32_t rank = 0;
};

Head head_now(const Logos* logos) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
  Head head;
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  head.time_ms = static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
  head.pid = static_cast<long>(::getpid());
  head.tid = static_cast<long>(::syscall(SYS_gettid));
  head.unwinding = std::uncaught_exceptions() > 0;
  // Read without the lock when another thread holds it: the rank only
  // orders the record among its neighbours.
  if (logos != nullptr) head.rank = logos->rank + 1;
  return head;
}

// ---------------------------------------------------------------------------
// The text record: the usual head with every column, the description, then
// one line per frame.
// ---------------------------------------------------------------------------

void put_counter_columns(Text& out, const Context::Data& data) {
  const std::uint32_t counters[] = {data.major_tick, data.minor_tick, data.major_depth,
                                    data.minor_depth};
  for (std::uint32_t counter : counters) {
    out.signed_decimal(static_cast<std::int32_t>(counter));
    out.put('|');
  }
}

void put_text_columns(Text& out, const Context::Data* data) {
  if (data == nullptr) {
    out.put("||||||||||||||");  // fourteen empty columns
    return;
  }
  put_counter_columns(out, *data);
  const Context::SubFields* fields[] = {&data->root.names, &data->root.ids,     &data->caller.names,
                                        &data->caller.ids, &data->callee.names, &data->callee.ids,
                                        &data->user,       &data->architect,    &data->developer};
  for (const Context::SubFields* field : fields) {
    put_fields(out, *field, false);
    out.put('|');
  }
  out.put('|');  // the consultant column: the settings' name, not read here
}

void put_text_record(Text& out, const Head& head, const Context::Data* data, const Fault& fault,
                     const Stack& stack) {
  put_utc_time(out, head.time_ms);
  out.put("|>>|A|");
  out.put(head.unwinding ? 'X' : ' ');
  out.put('|');
  out.decimal(static_cast<std::uint64_t>(head.pid), 5);
  out.put('|');
  out.decimal(static_cast<std::uint64_t>(head.tid), 4);
  out.put("| |");
  put_text_columns(out, data);
  put_description(out, fault, data);
  out.put('\n');
  for (int i = stack.first; i < stack.count; ++i) {
    out.put("  #");
    out.decimal(static_cast<std::uint64_t>(i - stack.first));
    out.put(' ');
    put_frame(out, stack.frames[i], false);
    out.put('\n');
  }
}

// ---------------------------------------------------------------------------
// The XML record, in the Lines layout of the log's own records.
// ---------------------------------------------------------------------------

void put_attribute(Text& out, const char* name, std::uint64_t value) {
  out.put('\n');
  out.put(name);
  out.put("=\"");
  out.decimal(value);
  out.put('"');
}

void put_attribute(Text& out, const char* name, const char* value, std::size_t length) {
  out.put('\n');
  out.put(name);
  out.put("=\"");
  out.xml(value, length);
  out.put('"');
}

void put_attribute(Text& out, const char* name, const std::string& value) {
  put_attribute(out, name, value.data(), value.size());
}

void put_xml_step(Text& out, const char* element, const Context::StepFields& step) {
  if (step.empty()) return;
  out.put('<');
  out.put(element);
  put_attribute(out, "Name", step.names.text());
  put_attribute(out, "Id", step.ids.text());
  out.put("/>\n");
}

void put_xml_context(Text& out, const Context::Data& data) {
  out.put("<Workflow>\n<Tick");
  put_attribute(out, "Major", data.major_tick);
  put_attribute(out, "Minor", data.minor_tick);
  out.put("/>\n<Depth");
  put_attribute(out, "Major", data.major_depth);
  put_attribute(out, "Minor", data.minor_depth);
  out.put("/>\n");
  put_xml_step(out, "Root", data.root);
  put_xml_step(out, "Caller", data.caller);
  put_xml_step(out, "Callee", data.callee);
  out.put("</Workflow>\n<Actors");
  const struct {
    const char* name;
    const Context::SubFields& fields;
  } actors[] = {{"User", data.user},
                {"Architect", data.architect},
                {"Developer", data.developer},
                {"Consultant", data.consultant}};
  for (const auto& actor : actors) {
    if (actor.fields.has_fields()) put_attribute(out, actor.name, actor.fields.text());
  }
  out.put("/>\n");
}

void put_xml_fault(Text& out, const Fault& fault, const Stack& stack) {
  out.put("<Crash");
  const char* name = signal_name(fault.signal);
  put_attribute(out, "Signal", name, std::strlen(name));
  put_attribute(out, "Number", static_cast<std::uint64_t>(fault.signal));
  if (fault.has_address) {
    out.put("\nAddress=\"");
    out.hex(fault.address);
    out.put('"');
  }
  out.put("/>\n<Stack>\n");
  for (int i = stack.first; i < stack.count; ++i) {
    out.put("<Frame>");
    put_frame(out, stack.frames[i], true);
    out.put("</Frame>\n");
  }
  out.put("</Stack>\n");
}

// The Msg element and the document's end tag.
void put_xml_record(Text& out, const Head& head, const Context::Data* data, const Fault& fault,
                    const Stack& stack) {
  out.put("<Msg");
  put_attribute(out, "Rank", head.rank);
  out.put("\nTime=\"");
  put_utc_time(out, head.time_ms);
  out.put('"');
  put_attribute(out, "Pid", static_cast<std::uint64_t>(head.pid));
  put_attribute(out, "Tid", static_cast<std::uint64_t>(head.tid));
  out.put("\nImp=\"&gt;&gt;\"\nSev=\"A\"");
  if (head.unwinding) out.put("\nExc=\"X\"");
  out.put(">\n");
  if (data != nullptr) put_xml_context(out, *data);
  put_description(out, fault, data);
  out.put('\n');
  put_xml_fault(out, fault, stack);
  out.put("</Msg>\n</Vantrel>\n");
}

// ---------------------------------------------------------------------------
// Writing into the log file.
// ---------------------------------------------------------------------------

// Takes the destination's message lock when it becomes free within the
// bound; true when this thread holds it now (also when it held it already).
bool hold_message_lock(Logos& logos) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
  for (int waited = 0; !logos.message_lock.try_lock(); ++waited) {
    if (waited >= lock_wait_ms) return false;
    sleep_ms(1);
  }
  return true;
}

// The characters pending in the log file's buffer that belong in the file
// before the crash record: with the lock held, everything written before
// the current record, and for a text record the started record itself,
// ended by a line break. Without the lock they are another thread's.
void write_pending(int fd, const CrashSink& sink, bool holding) {
  if (!holding || sink.pending == nullptr) return;
  const bool whole = !sink.xml || !sink.in_record;
  const std::size_t length = whole ? sink.pending_length : sink.record_mark;
  write_all(fd, sink.pending, length);
  if (!sink.xml && sink.in_record && length > 0 && sink.pending[length - 1] != '\n') {
    write_all(fd, "\n", 1);
  }
}

// The file descriptor of the sink, opening a closed file again for
// appending; -1 when there is none. `opened` tells the caller to close it.
int sink_fd(const CrashSink& sink, bool& opened) {
  opened = false;
  if (sink.screen) return STDOUT_FILENO;
  if (sink.fd >= 0) return sink.fd;
  if (sink.path == nullptr) return -1;
  const int fd = ::open(sink.path, O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW);
  opened = fd >= 0;
  return fd;
}

// "<dir>/<base>_<pid>_<yyyy_mm_dd_hh_mm_ss_mmm>_trace.<ext>", as the log
// file names a new file (base: the process name, or process "_" name).
void put_log_path(Text& out, const LogosInfo& info, long pid, std::int64_t time_ms) {
  const std::string& dir = info.stored_logdir();
  out.put(dir.data(), dir.size());
  if (!dir.empty() && dir.back() != '/') out.put('/');
  out.put(process_name);
  if (info.stored_name() != process_name) {
    out.put('_');
    out.put(info.stored_name().data(), info.stored_name().size());
  }
  out.put('_');
  out.decimal(static_cast<std::uint64_t>(pid));
  out.put('_');
  char stamp[32];
  Text time(stamp, sizeof stamp);
  put_utc_time(time, time_ms);
  for (std::size_t i = 0; i < time.size(); ++i) {
    const char c = stamp[i];
    out.put(c == '/' || c == ' ' || c == ':' || c == '.' ? '_' : c);
  }
  out.put("_trace.");
  out.put(info.stored_logext().data(), info.stored_logext().size());
}

// Creates a new log file for the record, never over an existing one (a
// later millisecond is tried then); -1 when none can be made.
int create_log_file(const LogosInfo& info, const Head& head, Text& path) {
  for (std::int64_t later = 0; later < 8; ++later) {
    path.clear();
    put_log_path(path, info, head.pid, head.time_ms + later);
    path.put('\0');
    if (path.data()[path.size() - 1] != '\0') return -1;  // too long
    const int fd = ::open(path.data(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0640);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The declaration and the root's start tag, for a document whose own
// beginning is not (or not wholly) in the file.
void write_document_head(int fd, const char* log_file, const Head& head) {
  static char buffer[8192];
  Text out(buffer, sizeof buffer);
  out.put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel");
  put_attribute(out, "LogFile", log_file, std::strlen(log_file));
  put_attribute(out, "Process", process_name, std::strlen(process_name));
  out.put("\nName=\"TODO: NYI: name\"");
  put_attribute(out, "Pid", static_cast<std::uint64_t>(head.pid));
  out.put("\nTime=\"");
  put_utc_time(out, head.time_ms);
  out.put('"');
  put_attribute(out, "Build", build_text, std::strlen(build_text));
  out.put(">\n");
  write_all(fd, out.data(), out.size());
}

// Where the record goes: the log file (opened again for appending when it
// was closed), the standard output, or a new file when the destination has
// none; `opened` tells the caller to close it. -1 when there is none.
// The names are read with or without the lock, as write_record says.
int record_fd(const Logos& logos, const CrashSink& sink, const Head& head, Text& path,
              bool& opened) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
  opened = false;
  if (sink.has_stream ? sink.screen : Env::to_screen()) return STDOUT_FILENO;
  if (sink.has_stream) return sink_fd(sink, opened);
  const int fd = create_log_file(logos.info, head, path);
  opened = fd >= 0;
  return fd;
}

// Writes the record into the destination's log file, in its format; false
// when no file takes it.
bool write_to_log(const Logos& logos, const CrashSink& sink, bool holding, const Head& head,
                  const Text& text, const Text& xml) {
  // Part of an XML record already reached the file: an element of unknown
  // state is open there, and no end can make the document whole.
  if (sink.xml && sink.in_record && sink.record_spilled) return false;
  static char path_buffer[4096];
  Text path(path_buffer, sizeof path_buffer);
  bool opened = false;
  const int fd = record_fd(logos, sink, head, path, opened);
  if (fd < 0) return false;
  if (sink.xml && !sink.document_begun) {
    // No record was completed in this document: its beginning is still
    // (partly) held by the XML writer, so the file gets a beginning of its own.
    const char* name = sink.has_stream ? (sink.screen ? "ToScreen" : sink.path) : path.data();
    write_document_head(fd, name != nullptr ? name : "", head);
  } else {
    write_pending(fd, sink, holding);
  }
  write_all(fd, sink.xml ? xml.data() : text.data(), sink.xml ? xml.size() : text.size());
  if (opened) ::close(fd);
  return true;
}

// The calling thread's context record, read from its slot.
Context::Data* crashing_data() {
  TlsData* slot = tls_data();
  return slot != nullptr ? slot->get() : nullptr;
}

// The destination's lock is held when it could be taken within the bound;
// otherwise its log file is read as it is (see docs/crash.md).
void write_record(int signal, const siginfo_t* info,
                  const void* context) VANTREL_NO_THREAD_SAFETY_ANALYSIS {
  Context::Data* data = crashing_data();
  Logos* logos = data != nullptr ? data->logos_ : default_logos();
  const Fault fault = fault_of(signal, info, context);
  static Stack stack;  // only the writing thread gets here
  collect_stack(stack, fault.pc);
  const bool holding = logos != nullptr && hold_message_lock(*logos);
  const Head head = head_now(logos);
  Text text(text_buffer, sizeof text_buffer);
  put_text_record(text, head, data, fault, stack);
  if (logos != nullptr && logos->log_file) {
    const CrashSink sink = logos->log_file->crash_sink();
    Text xml(xml_buffer, sizeof xml_buffer);
    if (sink.xml) put_xml_record(xml, head, data, fault, stack);
    write_to_log(*logos, sink, holding, head, text, xml);
  }
  write_all(STDERR_FILENO, text.data(), text.size());
}

// A second thread's crash while the first record is being written: the
// process is about to end; if it has not after the wait, say so on
// standard error only.
void write_late_record(int signal, const siginfo_t* info, const void* context) {
  sleep_ms(writer_wait_ms);
  const Fault fault = fault_of(signal, info, context);
  const Head head = head_now(nullptr);
  Text text(late_buffer, sizeof late_buffer);
  Stack none;
  put_text_record(text, head, crashing_data(), fault, none);
  write_all(STDERR_FILENO, text.data(), text.size());
}

// The host's handler, if it had one, then the default action.
void chain_and_raise(int signal, siginfo_t* info, void* context) {
  const int index = index_of(signal);
  if (index >= 0) {
    const struct sigaction& before = previous[index];
    if ((before.sa_flags & SA_SIGINFO) != 0) {
      if (before.sa_sigaction != nullptr) before.sa_sigaction(signal, info, context);
    } else if (before.sa_handler != SIG_DFL && before.sa_handler != SIG_IGN) {
      before.sa_handler(signal);
    }
  }
  struct sigaction default_action {};
  default_action.sa_handler = SIG_DFL;
  sigemptyset(&default_action.sa_mask);
  sigaction(signal, &default_action, nullptr);
  // Blocked until the handler returns; a fault would also recur on return.
  raise(signal);
}

// A signal sent (by kill or raise, not a fault or abort) that the host had
// set to be ignored: it stays ignored.
bool ignored_by_host(int signal, const siginfo_t* info) {
  const int index = index_of(signal);
  return index >= 0 && previous[index].sa_handler == SIG_IGN &&
         (previous[index].sa_flags & SA_SIGINFO) == 0 && signal != SIGABRT && info != nullptr &&
         info->si_code <= 0;
}

void on_fatal_signal(int signal, siginfo_t* info, void* context) {
  if (ignored_by_host(signal, info)) return;
  const int saved_errno = errno;
  const long self = static_cast<long>(::syscall(SYS_gettid));
  long writer = 0;
  if (writer_tid.compare_exchange_strong(writer, self, std::memory_order_acq_rel)) {
    write_record(signal, info, context);
  } else if (writer != self) {
    write_late_record(signal, info, context);
  }
  // writer == self: a crash inside the handler; go straight to the default.
  chain_and_raise(signal, info, context);
  errno = saved_errno;
}

// Copies `text` into `buffer`, cut to fit, NUL-terminated.
void keep_text(char (&buffer)[256], const std::string& text) {
  const std::size_t length = std::min(text.size(), sizeof buffer - 1);
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
}

bool install_locked() {
  // backtrace() loads the unwinder on first use, which may allocate: do it now.
  void* frame[1];
  backtrace(frame, 1);
  keep_text(process_name, ZelTools::Portable::Process().name());
  keep_text(build_text, build_identification());
  // An alternate stack the host set up for this thread is kept.
  stack_t stack{};
  if (sigaltstack(nullptr, &stack) != 0) return false;
  if ((stack.ss_flags & SS_DISABLE) != 0) {
    stack.ss_sp = alt_stack;
    stack.ss_size = sizeof alt_stack;
    stack.ss_flags = 0;
    if (sigaltstack(&stack, nullptr) != 0) return false;
  }
  struct sigaction action {};
  action.sa_sigaction = on_fatal_signal;
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  // While one fatal signal is handled the others are blocked: a fault in the
  // handler then ends the process with that fault's default action.
  sigemptyset(&action.sa_mask);
  for (int signal : fatal_signals) sigaddset(&action.sa_mask, signal);
  for (std::size_t i = 0; i < fatal_count; ++i) {
    if (sigaction(fatal_signals[i], &action, &previous[i]) != 0) return false;
  }
  return true;
}

}  // namespace

bool install() {
  std::lock_guard<std::mutex> lock(install_mutex);
  if (installed_flag.load(std::memory_order_relaxed)) return true;
  const bool done = install_locked();
  installed_flag.store(done, std::memory_order_release);
  return done;
}

bool installed() { return installed_flag.load(std::memory_order_acquire); }

}  // namespace Crash

bool Admin::install_crash_handler() {
  const int saved_errno = errno;
  bool done = false;
  try {
    done = Crash::install();
  } catch (...) {
    // Out of memory for the names kept at install: not installed.
  }
  errno = saved_errno;
  return done;
}

}  // namespace Vantrel
