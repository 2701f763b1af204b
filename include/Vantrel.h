// Vantrel: the trace core.
//
// A host writes trace messages through Vantrel::Printf, the VANTREL_LOG stream
// front end and traced scopes. Each message carries an Importance, is judged by
// the destination's activity rule against its settings (Vantrel::Config) and,
// when active, is written as one record to the destination's log file.
//
// This header also brings in the time library and the portability layer.
#ifndef VANTREL_VANTREL_H
#define VANTREL_VANTREL_H

#include <SimpleTime.h>
#include <Vantrel/Version.h>
#include <ZelTools/Portable.h>

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

namespace Vantrel {

// The version of the library the program runs with, "MAJOR.MINOR.PATCH";
// VANTREL_VERSION_STRING is that of the headers it was compiled with.
VANTREL_API const char* version();

// ---------------------------------------------------------------------------
// Importance
// ---------------------------------------------------------------------------

// The importance of a message: a level (0 XS .. 4 XL), a severity (0 none,
// 1 warning, 2 error, 3 assert) and, optionally, the source position of the
// statement that wrote it. A plain value, copied whole.
struct VANTREL_API Importance {
  std::int32_t level = 0;
  std::int32_t severity = 0;
  const char* file = nullptr;
  std::int32_t line = 0;

  Importance() = default;
  Importance(std::int32_t level_, std::int32_t severity_, const char* file_ = nullptr,
             std::int32_t line_ = 0)
      : level(level_), severity(severity_), file(file_), line(line_) {}

  // Printed level: 0 "<<", 1 "<=", 2 "==", 3 ">=", 4 ">>", otherwise "??".
  static const char* level_name(std::int32_t level);
  // Printed severity: 0 " ", 1 "W", 2 "E", 3 "A", otherwise "?".
  static const char* severity_name(std::int32_t severity);
  const char* level_name() const { return level_name(level); }
  const char* severity_name() const { return severity_name(severity); }
};

// The nine importance constants. They read as all zero until the library has
// started (VantrelInitExit fills them).
//   XS 0/0  S 1/0  M 2/0  L 3/0  XL 4/0  Success 2/0  Warning 3/1  Error 4/2  Assert 4/3
VANTREL_API extern const Importance& XS;
VANTREL_API extern const Importance& S;
VANTREL_API extern const Importance& M;
VANTREL_API extern const Importance& L;
VANTREL_API extern const Importance& XL;
VANTREL_API extern const Importance& Success;
VANTREL_API extern const Importance& Warning;
VANTREL_API extern const Importance& Error;
VANTREL_API extern const Importance& Assert;

// ---------------------------------------------------------------------------
// Display mask: which columns a record shows
// ---------------------------------------------------------------------------

constexpr unsigned time_mask = 0x1;
constexpr unsigned rank_mask = 0x2;
constexpr unsigned importance_mask = 0x4;
constexpr unsigned severity_mask = 0x8;
constexpr unsigned exc_mask = 0x10;
constexpr unsigned pid_mask = 0x20;
constexpr unsigned tid_mask = 0x40;
constexpr unsigned scope_mask = 0x80;
constexpr unsigned major_tick_mask = 0x100;
constexpr unsigned minor_tick_mask = 0x200;
constexpr unsigned major_depth_mask = 0x400;
constexpr unsigned minor_depth_mask = 0x800;
constexpr unsigned root_name_mask = 0x1000;
constexpr unsigned root_id_mask = 0x2000;
constexpr unsigned caller_name_mask = 0x4000;
constexpr unsigned caller_id_mask = 0x8000;
constexpr unsigned callee_name_mask = 0x10000;
constexpr unsigned callee_id_mask = 0x20000;
constexpr unsigned user_mask = 0x40000;
constexpr unsigned architect_mask = 0x80000;
constexpr unsigned developer_mask = 0x100000;
constexpr unsigned consultant_mask = 0x200000;
constexpr unsigned msg_mask = 0x400000;
constexpr unsigned src_file_mask = 0x800000;
constexpr unsigned src_line_mask = 0x1000000;

constexpr unsigned none_mask = 0x0;
constexpr unsigned all_mask = 0x1ffffff;
constexpr unsigned debug_mask = src_file_mask | src_line_mask;
constexpr unsigned os_mask = pid_mask | tid_mask;
constexpr unsigned process_mask = time_mask | rank_mask | os_mask;
constexpr unsigned diagnostic_mask = importance_mask | severity_mask | exc_mask;
constexpr unsigned major_steps_mask = major_tick_mask | major_depth_mask;
constexpr unsigned minor_steps_mask = minor_tick_mask | minor_depth_mask;
constexpr unsigned steps_mask = major_steps_mask | minor_steps_mask;
constexpr unsigned tick_mask = scope_mask | major_tick_mask | minor_tick_mask;
constexpr unsigned depth_mask = scope_mask | major_depth_mask | minor_depth_mask;
constexpr unsigned root_mask = root_name_mask | root_id_mask;
constexpr unsigned caller_mask = caller_name_mask | caller_id_mask;
constexpr unsigned callee_mask = callee_name_mask | callee_id_mask;
constexpr unsigned workflow_mask = 0x3ff80;
constexpr unsigned workflow_names_mask = root_name_mask | caller_name_mask | callee_name_mask;
constexpr unsigned workflow_ids_mask = root_id_mask | caller_id_mask | callee_id_mask;
constexpr unsigned actors_mask = user_mask | architect_mask | developer_mask | consultant_mask;

// Columns shown whatever the mask says, and the bits the mask may switch on.
constexpr unsigned always_shown_mask = 0x4000fd;
constexpr unsigned selectable_mask = 0x1bfff02;

// ---------------------------------------------------------------------------
// Config: the settings record of one destination
// ---------------------------------------------------------------------------

// A flat value record (no pointers, no heap), copied whole. The default record
// is inactive: only asserts and the closing messages of traced scopes pass.
struct VANTREL_API Config {
  static constexpr std::size_t consultant_capacity = 64;  // 63 characters + NUL

  bool active = false;                          // master switch
  Importance importance{2, 0};                  // threshold level (M)
  std::uint32_t size = 10000;                   // records per log file
  bool keep = false;                            // keep full files on rotation
  std::uint32_t display_mask = 0;               // columns (see effective_mask)
  std::uint16_t major_steps_display_width = 0;  // column widths
  std::uint16_t minor_steps_display_width = 0;
  std::uint16_t workflow_names_display_width = 0;
  std::uint16_t workflow_ids_display_width = 0;
  std::uint16_t actors_display_width = 0;
  char consultant[consultant_capacity] = {};  // NUL-terminated, at most 63 chars

  // (display_mask & selectable_mask) | always_shown_mask
  unsigned effective_mask() const { return (display_mask & selectable_mask) | always_shown_mask; }
  // Stores the first 63 characters of `name`, NUL-terminated.
  void set_consultant(const std::string& name);

  // Runs a configuration text against a copy of this record; on success the
  // copy replaces the record and the result is true, on any error the record
  // is unchanged and the result is false. name, log_dir and config_file are
  // what the text reads as "name", "log_dir" and "config_file".
  bool parse(std::istream& in, const std::string& name, const std::string& log_dir,
             const std::string& config_file);
  // Same, with the default destination's names derived from the environment.
  bool parse(std::istream& in);
  // Writes the settings as text.
  std::ostream& print(std::ostream& out) const;
};

// ===========================================================================
// Message path: Logger, Printf, VANTREL_HERE, VANTREL_LOG, VantrelInitExit,
// Admin.
// ===========================================================================

class Logos;
namespace Context {
struct Data;
}

// Starts the trace core with the first instance in the process and stops it
// with the last. Every translation unit that includes this header holds one
// (below), so the library is running before any of its static objects are
// built and until all of them are gone.
class VANTREL_API VantrelInitExit {
 public:
  VantrelInitExit();
  ~VantrelInitExit();
  VantrelInitExit(const VantrelInitExit&) = delete;
  VantrelInitExit& operator=(const VantrelInitExit&) { return *this; }

 private:
  static void init();
  static void exit();
};

namespace {
const VantrelInitExit vantrel_init_exit;
}

// One trace message. Construction decides whether the message is written
// (the activity rule of the thread's destination), takes the destination's
// message lock and opens the record; the message text goes into stream();
// destruction (or reset) ends the record and releases the lock. A logger
// must end on the thread that built it. Host code normally writes through
// Printf or VANTREL_LOG rather than building loggers itself.
class VANTREL_API Logger {
 public:
  enum Tag { Plain = 0, Open = 1, Close = 2 };

  // `importance` must outlive the logger (the nine constants do).
  Logger(const Importance& importance, Tag tag);
  // Takes the message over: only the new logger ends the record.
  Logger(Logger& other);
  Logger& operator=(const Logger&) = delete;
  ~Logger();

  // Ends the record now; the logger holds nothing afterwards.
  void reset();

  // Where the message text goes; null when nothing is written.
  std::ostream* stream() const { return stream_; }
  // What the record writers read.
  const Importance& importance() const { return *importance_; }
  Tag tag() const { return tag_; }
  const Config& config() const { return config_; }
  Context::Data* data() const { return data_; }

 private:
  friend class Printf;
  friend class FormatMessage;
  // Printf decides, then formats its text, then opens the record: the
  // formatting runs before the destination's lock is taken.
  enum class Opening { now, later };
  // The thread's context and destination, when the caller has looked them
  // up already and the destination's quick verdict has not dropped the
  // message.
  struct Found {
    Context::Data* data;
    Logos* logos;
  };
  Logger(const Importance& importance, Tag tag, Opening opening, const Found* found);
  // The quick verdict of the front ends, before a Logger is built: false
  // when the message is surely dropped; else `found` holds the look-up, or
  // is left for the Logger to fill (`use_found` false, debug trace on).
  static bool may_write(const Importance& importance, Found& found, bool& use_found);
  // Opens the record on the destination chosen by the activity rule.
  void open();

  Logos* active_logos(Logos* logos, bool quick_checked);
  bool open_record();
  void end_record();
  void release();

  const Importance* importance_;
  Tag tag_;
  Config config_;
  Context::Data* data_ = nullptr;
  Logos* chosen_ = nullptr;  // passed the activity rule, not yet held
  Logos* logos_ = nullptr;   // held: one level of its message lock
  std::ostream* stream_ = nullptr;
};

// Lets the compiler check a printf-style format against its arguments.
#if defined(__GNUC__) || defined(__clang__)
#define VANTREL_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define VANTREL_PRINTF_FORMAT(format_index, first_arg)
#endif

// The printf-style front end: Printf{M}("x=%d", 5) writes one Plain message
// of importance M. Nothing is formatted when the message is not active. The
// text is cut to its first 1023 characters.
// Write the braces: as a statement, `Printf(M)("x");` declares a variable
// named M (and `Printf(Vantrel::M)("x");` is rejected by some compilers).
// Any other expression form is fine: Printf(VANTREL_HERE(M))("x").
class VANTREL_API Printf {
 public:
  explicit Printf(const Importance& importance) : importance_(importance) {}

  // A message that no destination could write under its settings ends
  // here, before the call into the library; every other one is decided
  // there, exactly (context, activity rule, re-read of the settings).
  void operator()(const char* format, ...) const VANTREL_PRINTF_FORMAT(2, 3) {
    if (surely_inactive()) return;
    va_list args;
    va_start(args, format);
    write(format, args);
    va_end(args);
  }

  operator const Importance&() const { return importance_; }

 private:
  friend class QuickVerdict;
  friend class FormatMessage;
  // The level below which every destination drops a message of severity
  // under 3: the lowest threshold over all destinations whose default rule
  // decides from their settings alone (no host rule, no re-read pending, no
  // debug trace); the lowest level when any does not. Published by the
  // library under its own lock at every change of settings; read relaxed,
  // as one word that may lag a change made meanwhile on another thread.
  static std::atomic<std::int32_t> quick_floor_;

  bool surely_inactive() const { return surely_inactive(importance_); }
  static bool surely_inactive(const Importance& importance) {
    return importance.severity < 3 &&
           importance.level < quick_floor_.load(std::memory_order_relaxed);
  }
  void write(const char* format, va_list args) const;

  Importance importance_;
};

// The message path under the {} front end of <Vantrel/Format.h>, which is
// compiled into the host: the activity rule decides first, then `fill` puts
// the text into the record's fixed buffer, then the record is written.
class VANTREL_API FormatMessage {
 public:
  // The text buffer's size; a text is cut to its first buffer_size - 1
  // characters, as Printf's is.
  static constexpr unsigned buffer_size = 1024;
  // Puts at most `size` characters of text into `buffer` (which has room for
  // one more, a terminator) and returns how many it put there; called only
  // when the message is active. Must not throw.
  using Fill = std::size_t (*)(char* buffer, std::size_t size, const void* arguments);

  // Writes one Plain message of `importance`. The text ends at its first NUL.
  static void write(const Importance& importance, Fill fill, const void* arguments);

  // Printf's inline first check: true when no destination could write the
  // message, decided before the call into the library.
  static bool surely_inactive(const Importance& importance) {
    return Printf::surely_inactive(importance);
  }
};

// An importance with the level and severity of `importance` and the given
// source position (see VANTREL_HERE).
inline Importance here(const Importance& importance, const char* file, int line) {
  return Importance(importance.level, importance.severity, file, line);
}

// A Plain logger with its own copy of a positioned importance; used by
// VANTREL_LOG.
class PositionedLogger {
 public:
  PositionedLogger(const Importance& importance, const char* file, int line)
      : importance_(here(importance, file, line)), logger_(importance_, Logger::Plain) {}
  std::ostream* stream() const { return logger_.stream(); }
  void reset() { logger_.reset(); }

 private:
  Importance importance_;
  Logger logger_;
};

// Run-time administration of the calling thread's destination (that of its
// context record, or the default one).
struct VANTREL_API Admin {
  // The activity rule. The default rule: an assert (severity 3 or more) is
  // always written; otherwise the settings must be active and the message's
  // level at least the threshold's level. A host may install its own rule.
  class VANTREL_API IsActive {
   public:
    IsActive() = default;
    IsActive(const IsActive&) = default;
    IsActive& operator=(const IsActive&) = default;
    virtual ~IsActive();
    virtual bool operator()(const Importance& importance, Logger::Tag tag, const Config& config,
                            Context::Data* data) const;
  };

  // The settings in force (re-read from the configuration file when due).
  static Config config();

  // Edits. The first edit stops re-reading the configuration file and starts
  // from the default record, not from what the file gave.
  static void config(const Config& value);
  // Runs configuration-language statements against the record; returns
  // whether they ran without error (on error the record is unchanged).
  static bool config(const std::string& text);
  static void active(bool value);
  static void importance(const Importance& value);
  static void size(unsigned int value);
  static void keep(bool value);

  // Re-reading the configuration file. Switching it on (also through
  // period or configfile) makes a re-read due at the next message.
  static bool pullable();
  static void pullable(bool value);
  // Least time between two re-reads; a negative value stores zero (every
  // message re-reads the file) and switches re-reading on.
  static SimpleTime::Duration period();
  static void period(const SimpleTime::Duration& value);

  // The destination's names: trace name, log extension ("log" or "xml"),
  // log directory and configuration-file path.
  static std::string name();
  static std::string logext();
  static std::string logdir();
  static std::string configfile();

  // Changing the names waits for a message in progress on another thread,
  // closes the current log file and starts a new one at the next message.
  // Ignored when called while this thread writes a message.
  // "log" or "xml" (exactly); anything else selects the default format.
  static void logext(const std::string& value);
  // An empty directory restores QZ_TRACE_LOGDIR (or ".").
  static void logdir(const std::string& value);
  // An empty path restores the default; the new file is read at the next
  // message.
  static void configfile(const std::string& value);

  // Installs the host's activity rule; an empty pointer restores the default.
  static void is_active(std::unique_ptr<const IsActive> rule);

  // Installs handlers for SIGSEGV, SIGBUS, SIGFPE, SIGILL and SIGABRT that
  // write one last record (the signal, the faulting address, the thread's
  // whole context and its stack) to the crashing thread's log file and to
  // standard error, then run the handler the host had installed before and
  // end the process with the signal's default action. Off unless called (or
  // QZ_TRACE_CRASH is "1" at start); later calls do nothing. Returns whether
  // the handlers are installed. See docs/crash.md.
  static bool install_crash_handler();
};

// An Importance with the level and severity of `imp` and the position of the
// statement: Printf(VANTREL_HERE(Vantrel::Warning))("disk %d%% full", 93);
#define VANTREL_HERE(imp) ::Vantrel::here((imp), __FILE__, __LINE__)

// One Plain message of importance `imp` with its source position:
//   VANTREL_LOG(Vantrel::M) << "x=" << x;
// When the message is not active, nothing is written and the inserted
// expressions are not evaluated.
#define VANTREL_LOG(imp)                                                                         \
  for (::Vantrel::PositionedLogger vantrel_log_(imp, __FILE__, __LINE__); vantrel_log_.stream(); \
       vantrel_log_.reset())                                                                     \
  *vantrel_log_.stream()

// ===========================================================================
// Execution context: Vantrel::Context.
// ===========================================================================

class Logos;

namespace Context {

// An ordered list of text fields naming a workflow step, its ids or an actor.
// The list always starts with one empty element; the fields are the elements
// after it. The text joins the fields with '/':
//   SubFields{}                => ""
//   SubFields{"a"}             => "a"
//   SubFields{"a", "b", "c"}   => "a/b/c"
// The joined text is kept up to date by add(), so text() never writes and a
// value may be read from several threads at once.
class VANTREL_API SubFields {
 public:
  SubFields();
  SubFields(std::initializer_list<std::string> fields);

  // Appends one field; returns *this so that calls chain.
  SubFields& add(const std::string& field);
  // The fields joined with '/', or "" when there is no field.
  const std::string& text() const { return text_; }
  // True when at least one field was added.
  bool has_fields() const { return elements_.size() > 1; }
  // Every element, the leading empty one included.
  const std::vector<std::string>& elements() const { return elements_; }

 private:
  std::vector<std::string> elements_;
  std::string text_;
};

// One workflow step: its names and its ids. Text: names text, '#', ids text
// (names a, ids 1 => "a#1"; no fields => "#").
struct VANTREL_API StepFields {
  StepFields() = default;
  StepFields(SubFields names_, SubFields ids_);

  std::string text() const;
  // True when neither the names nor the ids have a field.
  bool empty() const { return !names.has_fields() && !ids.has_fields(); }

  SubFields names;
  SubFields ids;
};

class CallTrace;

// One open cross call on a thread (see LowLevelAPI).
enum class Call_kind : std::uint8_t { Incoming = 0, Outgoing = 1 };

struct VANTREL_API CallRecord {
  CallRecord(Call_kind kind_, std::uint32_t minor_depth_, std::unique_ptr<CallTrace> trace_);
  CallRecord(CallRecord&&) noexcept;
  CallRecord& operator=(CallRecord&&) noexcept;
  ~CallRecord();

  Call_kind kind;
  std::uint32_t minor_depth;         // the minor depth when the call began
  std::unique_ptr<CallTrace> trace;  // writes the call's messages; may be null
};

// The execution context of one thread: its position in a workflow, the actors
// it acts for and the destination of its messages. At most one per thread,
// reached through get_data(); only its own thread reads or changes it, so no
// lock protects it. The message path reads it while writing a record and the
// text and XML records advance minor_tick and minor_depth.
struct VANTREL_API Data {
  Data();
  ~Data();
  Data(const Data&) = delete;
  Data& operator=(const Data&) = delete;

  // The destination of this thread's messages, never null.
  Logos* logos() const;
  // Binds the thread to `x`, or to the default destination when `x` is null.
  void set_logos(Logos* x);

  // The workflow position (the same five members as LowLevelAPI::Call).
  std::uint32_t major_tick = 0;   // workflow-step entries and exits
  std::uint32_t major_depth = 0;  // nested workflow steps
  StepFields root;                // first step of the workflow
  StepFields caller;              // the step that entered the current one
  StepFields callee;              // the current step

  std::uint32_t minor_tick = 0;   // opening and closing messages in this step
  std::uint32_t minor_depth = 0;  // traced scopes open in this step

  SubFields user;
  SubFields architect;
  SubFields developer;
  SubFields consultant;  // no scope sets it; it stays without fields

  Logos* logos_;                  // not owned; never null
  std::vector<CallRecord> calls;  // open cross calls, innermost last
  std::uint16_t incoming_calls = 0;
  std::uint16_t outgoing_calls = 0;
  bool installed_by_call = false;  // removed when its last call record is popped
};

// The calling thread's context record, or null when it has none.
VANTREL_API Data* get_data();

// A destination of its own for the threads bound to it. The default device
// has none and binds the default destination. A device must outlive every
// WithDevice bound to it and every message written through it.
class VANTREL_API Device {
 public:
  Device();
  // Builds a destination from the four names; an empty one takes its value
  // from the environment (QZ_TRACE_NAME, QZ_TRACE_LOGDIR, ...). Its settings
  // are re-read from its configuration file at most once a minute.
  Device(const std::string& name, const std::string& logext, const std::string& logdir,
         const std::string& configfile);
  // Closes the device's log file.
  ~Device();
  Device(const Device&) = delete;
  Device& operator=(const Device&) = delete;

  // The device's own destination, or null.
  Logos* logos() const { return logos_; }

 private:
  // Owned; null for the default device. Set at construction and never
  // changed, so threads read it without a lock; the Logos locks itself.
  Logos* logos_;
};

// Makes sure the calling thread has a context record for the lifetime of the
// object; removes it at the end when this object installed it.
class VANTREL_API WithContext {
 public:
  WithContext();
  ~WithContext();
  WithContext(const WithContext&) = delete;
  WithContext& operator=(const WithContext&) = delete;

  bool is_owner;  // this object installed the record
  Data* data;     // the thread's record
};

// Binds the calling thread to a device for the lifetime of the object and
// restores the previous binding at its end. A null device keeps the current
// binding; the default constructor binds nothing.
class VANTREL_API WithDevice : public WithContext {
 public:
  WithDevice() : WithDevice(static_cast<const Device*>(nullptr)) {}
  explicit WithDevice(const Device* device);
  explicit WithDevice(const Device& device);
  ~WithDevice();

  Logos* previous;  // restored at the end; null means the default destination
};

// Traced scopes: the constructor writes an opening message with the label, the
// destructor a closing message with the label, ": " and the elapsed time. A
// scope whose opening message was not written writes no closing message; one
// whose opening message was written always writes its closing message.
class VANTREL_API StepTrace {
 public:
  StepTrace(const Importance& importance_, const StepFields& label_);
  ~StepTrace();
  StepTrace(const StepTrace&) = delete;
  StepTrace& operator=(const StepTrace&) = delete;

 private:
  Importance importance;
  bool logged;
  StepFields label;
  SimpleTime::PhysicalTime start;
};

class VANTREL_API ActorTrace {
 public:
  ActorTrace(const Importance& importance_, const SubFields& label_);
  ~ActorTrace();
  ActorTrace(const ActorTrace&) = delete;
  ActorTrace& operator=(const ActorTrace&) = delete;

 private:
  Importance importance;
  bool logged;
  SubFields label;
  SimpleTime::PhysicalTime start;
};

class VANTREL_API CallTrace {
 public:
  CallTrace(const Importance& importance_, const std::string& label_);
  ~CallTrace();
  CallTrace(const CallTrace&) = delete;
  CallTrace& operator=(const CallTrace&) = delete;

  // Replaces the importance and label that the closing message will use.
  void replace(const Importance& importance_, const std::string& label_);

 private:
  Importance importance;
  bool logged;
  std::string label;
  SimpleTime::PhysicalTime start;
};

// The first step of a workflow, the user it runs for and, optionally, the
// device its messages go to.
struct VANTREL_API Root : StepFields {
  Root(StepFields step, SubFields user_ = {}, const Device* device_ = nullptr);

  SubFields user;
  const Device* device;
};

// A step inside a workflow, optionally bound to a device.
struct VANTREL_API Step : StepFields {
  Step(StepFields step, const Device* device_ = nullptr);

  const Device* device;
};

// Moves the calling thread into a workflow step for the lifetime of the
// object, without messages. On a thread that runs no workflow yet, a Root or
// a Step starts a new one (which is not undone at the end); inside a running
// workflow both enter a nested step, left again at the end.
class VANTREL_API WorkflowScopeBase {
 public:
  explicit WorkflowScopeBase(const Root& root);
  explicit WorkflowScopeBase(const Step& step);
  ~WorkflowScopeBase();
  WorkflowScopeBase(const WorkflowScopeBase&) = delete;
  WorkflowScopeBase& operator=(const WorkflowScopeBase&) = delete;

 private:
  struct SavedStep;
  void enter(const StepFields& step);

  WithDevice with_device;
  std::unique_ptr<SavedStep> saved;  // set while a nested step is entered
};

// A workflow step with an opening and a closing message (XL for a root, L for
// a step) labelled names#ids.
class VANTREL_API WorkflowScope : public WorkflowScopeBase {
 public:
  explicit WorkflowScope(const Root& root);
  explicit WorkflowScope(const Step& step);

 private:
  StepTrace trace;
};

// Keeps a saved actor value while an actor scope is open.
class VANTREL_API ActorScopeBase {
 public:
  ActorScopeBase();
  ~ActorScopeBase();
  ActorScopeBase(const ActorScopeBase&) = delete;
  ActorScopeBase& operator=(const ActorScopeBase&) = delete;

 protected:
  // Saves `*slot` and sets it to `actor`.
  void replace(SubFields& slot, const SubFields& actor);
  // Puts the saved value back into `*slot`.
  void restore(SubFields& slot);

 private:
  std::unique_ptr<SubFields> saved;  // null when nothing was changed
};

// Sets the architect (developer) of the calling thread's record for the
// lifetime of the object. Does nothing on a thread without a record.
class VANTREL_API ArchitectScopeBase : public ActorScopeBase {
 public:
  explicit ArchitectScopeBase(const SubFields& architect);
  ~ArchitectScopeBase();
};

class VANTREL_API DeveloperScopeBase : public ActorScopeBase {
 public:
  explicit DeveloperScopeBase(const SubFields& developer);
  ~DeveloperScopeBase();
};

// The same, with an opening and a closing message (L for the architect, M
// for the developer) labelled with the actor's text.
class VANTREL_API ArchitectScope : public ArchitectScopeBase {
 public:
  explicit ArchitectScope(const SubFields& architect);

 private:
  ActorTrace trace;
};

class VANTREL_API DeveloperScope : public DeveloperScopeBase {
 public:
  explicit DeveloperScope(const SubFields& developer);

 private:
  ActorTrace trace;
};

// Carrying a workflow position across a call between components or processes.
// The receiving side brackets the call with before_incoming_call and
// after_incoming_call; the calling side with before_outgoing_call and
// after_outgoing_call. The forms with importances write an opening message
// (the first pair for the outermost call on the thread, the nested pair
// otherwise) and, when the call ends, a closing message.
namespace LowLevelAPI {

// A workflow position: the head of Data.
struct Call {
  std::uint32_t major_tick = 0;
  std::uint32_t major_depth = 0;
  StepFields root;
  StepFields caller;
  StepFields callee;
};

// Sets the user of the calling thread's record, if it has one.
VANTREL_API void set_user(const SubFields& user);

VANTREL_API void before_incoming_call(const Call& call, const SubFields& user);
VANTREL_API void before_incoming_call(const Call& call, const SubFields& user,
                                      const Importance& first_importance,
                                      const std::string& first_text,
                                      const Importance& nested_importance,
                                      const std::string& nested_text);
VANTREL_API void after_incoming_call();
VANTREL_API void after_incoming_call(const Importance& importance, const std::string& text);

VANTREL_API void before_outgoing_call();
VANTREL_API void before_outgoing_call(const Importance& first_importance,
                                      const std::string& first_text,
                                      const Importance& nested_importance,
                                      const std::string& nested_text);
VANTREL_API void after_outgoing_call(const Call& call, const SubFields& user);
VANTREL_API void after_outgoing_call(const Call& call, const SubFields& user,
                                     const Importance& importance, const std::string& text);

}  // namespace LowLevelAPI
}  // namespace Context

}  // namespace Vantrel

#endif  // VANTREL_VANTREL_H
