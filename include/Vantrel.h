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
#include <ZelTools/Portable.h>

#include <cstdint>
#include <iosfwd>
#include <string>

#ifndef VANTREL_API
#define VANTREL_API __attribute__((visibility("default")))
#endif

namespace Vantrel {

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
  unsigned effective_mask() const {
    return (display_mask & selectable_mask) | always_shown_mask;
  }
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
// Admin.   (section owned by the message path)
// ===========================================================================

// ===========================================================================
// Execution context: Vantrel::Context.   (section owned by the context work)
// ===========================================================================

}  // namespace Vantrel

#endif  // VANTREL_VANTREL_H
