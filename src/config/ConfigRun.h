// ConfigRun: the whole state of one configuration run.
//
// Vantrel::Config::parse creates one ConfigRun on the stack for each run,
// from a working copy of the settings record, the three run strings (name,
// log_dir, config_file) and the input stream. The generated parser
// (ConfigParser) takes its tokens from the run's scanner (ConfigLexer) and
// applies each statement to the run through ConfigEval, until the end of
// input or the first error; then parse destroys the run, which closes any
// file that the two output channels opened. A run is single-threaded and
// works on a private copy of the record, so nothing here is shared and
// nothing takes a lock.
#ifndef VANTREL_SRC_CONFIG_CONFIGRUN_H
#define VANTREL_SRC_CONFIG_CONFIGRUN_H

#include <array>
#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "Vantrel.h"
#include "config/ConfigLexer.h"
#include "config/ConfigTargets.h"

namespace Vantrel {

// The three strings a run reads as "name", "log_dir" and "config_file".
struct ConfigRunNames {
  ConfigRunNames(const std::string& name_, const std::string& log_dir_,
                 const std::string& config_file_)
      : name(name_), log_dir(log_dir_), config_file(config_file_) {}
  const std::string name;
  const std::string log_dir;
  const std::string config_file;
};

// The store of string values, addressed by handles. A negative handle is
// persistent (lives until the run ends); a positive one is a temporary that
// the expression consuming it releases.
//   add("a", true) => -1, add("b", false) => 2, at(-1) => "a", release(2)
template <class T>
class ConfigPool {
 public:
  int add(const T& value, bool persistent) {
    ++counter_;
    entries_[counter_] = value;
    return persistent ? -counter_ : counter_;
  }
  const T& at(int handle) const { return entries_.at(handle < 0 ? -handle : handle); }
  void release(int handle) {
    if (handle > 0) entries_.erase(handle);
  }
  std::size_t size() const { return entries_.size(); }

 private:
  std::map<int, T> entries_;
  int counter_ = 0;
};

// The flags that make if/else, &&, || and ?: skip effects. push ands the new
// condition with the current flag, so a part nested in a skipped part stays
// skipped.
class ConfigFlagStack {
 public:
  void push(bool condition);
  void pop();
  bool executing() const { return executing_; }

 private:
  std::vector<unsigned char> flags_;
  bool executing_ = true;
};

class ConfigRun {
 public:
  // The settable ints and strings, in the order of their names' tables.
  static constexpr std::size_t int_lhs_count = 7;
  static constexpr std::size_t str_lhs_count = 4;

  // The longest string value a run may make (a literal, getenv's result, a
  // concatenation): 64 KiB, far beyond any setting, so that a text doubling a
  // string cannot take the host's memory.
  static constexpr std::size_t max_string_length = 64 * 1024;

  ConfigRun(Config& config, const std::string& name, const std::string& log_dir,
            const std::string& config_file, std::istream* in);
  ConfigRun(const ConfigRun&) = delete;
  ConfigRun& operator=(const ConfigRun&) = delete;

  ConfigLexer& lexer() { return lexer_; }
  Config& config() { return config_; }
  const ConfigRunNames& names() const { return names_; }
  ConfigTargets::IntLhs* int_lhs(std::size_t index) { return int_lhs_[index]; }
  ConfigTargets::StrLhs* str_lhs(std::size_t index) { return str_lhs_[index]; }

  // The string pool.
  int add(const std::string& value, bool persistent) { return pool_.add(value, persistent); }
  const std::string& at(int handle) const { return pool_.at(handle); }
  void release(int handle) { pool_.release(handle); }
  // An empty persistent string: the value of string operations skipped
  // because the text is not executing.
  int empty_string() const { return empty_handle_; }

  // The execution flags.
  void push(bool condition) { flags_.push(condition); }
  void pop() { flags_.pop(); }
  bool executing() const { return flags_.executing(); }

  // Writes "error: <message>: at line L.C" (the scanner's position) to the
  // error channel and throws it as a ConfigLexer::Error.
  [[noreturn]] void raise(const std::string& message);
  // Same, for a span of the text.
  [[noreturn]] void raise(const std::string& message, const ConfigLexer::Location& where);
  // Raises "string longer than 65536 bytes" when `length` exceeds the cap.
  void check_string_length(std::size_t length);

  std::ostream& output() { return output_file_.stream(); }
  std::ostream& error_output() { return error_file_.stream(); }

  // The location of the token at which the last syntax error was found.
  ConfigLexer::Location syntax_error_location;

 private:
  [[noreturn]] void report(const ConfigLexer::Error& error);

  Config& config_;
  const ConfigRunNames names_;
  ConfigPool<std::string> pool_;
  ConfigFlagStack flags_;
  ConfigTargets::SizeLhs size_lhs_;
  ConfigTargets::DisplayMaskLhs display_mask_lhs_;
  ConfigTargets::DisplayWidthLhs major_steps_lhs_;
  ConfigTargets::DisplayWidthLhs minor_steps_lhs_;
  ConfigTargets::DisplayWidthLhs workflow_names_lhs_;
  ConfigTargets::DisplayWidthLhs workflow_ids_lhs_;
  ConfigTargets::DisplayWidthLhs actors_lhs_;
  ConfigTargets::ConsultantLhs consultant_lhs_;
  ConfigTargets::OutputFileLhs output_file_;
  ConfigTargets::OutputFileLhs error_file_;
  ConfigTargets::AboutLhs about_lhs_;
  const std::array<ConfigTargets::IntLhs*, int_lhs_count> int_lhs_;
  const std::array<ConfigTargets::StrLhs*, str_lhs_count> str_lhs_;
  int empty_handle_ = 0;
  // Last: it refers to the run while it scans.
  ConfigLexer lexer_;
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIG_CONFIGRUN_H
