// ConfigLexer: the whole state of one configuration run.
//
// Vantrel::Config::parse creates one ConfigLexer on the stack for each run,
// from a working copy of the settings record, the three run strings (name,
// log_dir, config_file) and the input stream. The generated parser
// (ConfigParser) drives it token by token until the end of input or the first
// error, then parse destroys it, which closes any file that the two output
// channels opened. A run is single-threaded and works on a private copy of the
// record, so nothing here is shared and nothing takes a lock.
//
// The lexer is hand-written: one switch on the current character, with
// ASCII character classes that do not depend on the locale. It also carries
// the evaluation state that the grammar's actions use: the string pool, the
// stack of execution flags, the lvalue objects behind the settable names and
// the output and error channels.
#ifndef VANTREL_SRC_CONFIG_CONFIGLEXER_H
#define VANTREL_SRC_CONFIG_CONFIGLEXER_H

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include "LogOfstream.h"
#include "Vantrel.h"

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
class ConfigLexerPool {
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
class ConfigLexerStack {
 public:
  void push(bool condition);
  void pop();
  bool executing() const { return executing_; }

 private:
  std::vector<unsigned char> flags_;
  bool executing_ = true;
};

class ConfigLexer : public ConfigRunNames,
                    public ConfigLexerPool<std::string>,
                    public ConfigLexerStack {
 public:
  // A line and a column, both counted from 1.
  struct Position {
    int line = 1;
    int column = 1;
  };

  // The failure that ends a run: a message and the span it concerns. When
  // begin equals end it prints "at" one position, else "between" two.
  struct Error {
    std::string message;
    Position begin;
    Position end;
  };

  // Thrown when the parse stack would exceed max_stack_depth entries; the
  // run then fails with "wrong syntax".
  struct StackExhausted {};
  static constexpr std::size_t max_stack_depth = 10000;

  // The longest string value a run may make (a literal, getenv's result, a
  // concatenation): 64 KiB, far beyond any setting, so that a text doubling a
  // string cannot take the host's memory.
  static constexpr std::size_t max_string_length = 64 * 1024;
  // Raises "string longer than 65536 bytes" when `length` exceeds the cap.
  void check_string_length(std::size_t length);

  // Where a token or a recognised symbol stands; last_column is one past its
  // last character.
  struct Location {
    int first_line = 1;
    int first_column = 1;
    int last_line = 1;
    int last_column = 1;
  };

  // A settable int name. set may adjust the value (clamping).
  struct IntLhs {
    virtual ~IntLhs() = default;
    virtual std::int32_t get() const = 0;
    virtual void set(std::int32_t value) = 0;
  };

  // A settable string name.
  struct StrLhs {
    virtual ~StrLhs() = default;
    virtual const std::string& get() const = 0;
    virtual void set(const std::string& value) = 0;
  };

  // "size": clamped to 10..1000000.
  struct SizeLhs : IntLhs {
    explicit SizeLhs(Config* c) : config(c) {}
    std::int32_t get() const override;
    void set(std::int32_t value) override;
    Config* config;
  };

  // "display_mask": reads the effective mask, stores the value unchanged.
  struct DisplayMaskLhs : IntLhs {
    explicit DisplayMaskLhs(Config* c) : config(c) {}
    std::int32_t get() const override;
    void set(std::int32_t value) override;
    Config* config;
  };

  // The five column widths, each clamped to 0..128.
  struct DisplayWidthLhs : IntLhs {
    DisplayWidthLhs(Config* c, std::uint16_t Config::*f) : config(c), field(f) {}
    std::int32_t get() const override;
    void set(std::int32_t value) override;
    Config* config;
    std::uint16_t Config::*field;
  };
  struct DisplayWidthMajorStepsLhs : DisplayWidthLhs {
    explicit DisplayWidthMajorStepsLhs(Config* c)
        : DisplayWidthLhs(c, &Config::major_steps_display_width) {}
  };
  struct DisplayWidthMinorStepsLhs : DisplayWidthLhs {
    explicit DisplayWidthMinorStepsLhs(Config* c)
        : DisplayWidthLhs(c, &Config::minor_steps_display_width) {}
  };
  struct DisplayWidthWorkflowNamesLhs : DisplayWidthLhs {
    explicit DisplayWidthWorkflowNamesLhs(Config* c)
        : DisplayWidthLhs(c, &Config::workflow_names_display_width) {}
  };
  struct DisplayWidthWorkflowIdsLhs : DisplayWidthLhs {
    explicit DisplayWidthWorkflowIdsLhs(Config* c)
        : DisplayWidthLhs(c, &Config::workflow_ids_display_width) {}
  };
  struct DisplayWidthActorsLhs : DisplayWidthLhs {
    explicit DisplayWidthActorsLhs(Config* c) : DisplayWidthLhs(c, &Config::actors_display_width) {}
  };

  // "consultant": reads the text last assigned in this run; an assignment
  // also copies its first 63 characters into the record.
  struct ConsultantLhs : StrLhs {
    explicit ConsultantLhs(Config* c) : config(c) {}
    const std::string& get() const override { return text; }
    void set(const std::string& value) override;
    Config* config;
    std::string text;
  };

  // "output_file" and "error_file": a channel the run's statements write to.
  // "-" names standard output, "--" standard error, anything else a file,
  // created new as a log file is (an existing name is never written).
  struct OutputFileLhs : StrLhs {
    explicit OutputFileLhs(bool to_stderr_)
        : file(&buffer), to_stderr(to_stderr_), name(default_name()) {}
    const std::string& get() const override { return name; }
    void set(const std::string& value) override;
    std::ostream& stream();
    std::string default_name() const { return to_stderr ? "--" : "-"; }
    LogFileBuffer buffer;  // the file's descriptor; closed (and flushed) at the end
    std::ostream file;     // writes into buffer
    bool to_stderr;
    std::string name;
  };

  // "about": reads the library's identification text; any assignment writes
  // it to the output channel ("hanoi" adds a small animation).
  struct AboutLhs : StrLhs {
    explicit AboutLhs(ConfigLexer* l);
    const std::string& get() const override { return text; }
    void set(const std::string& value) override;
    ConfigLexer* lexer;
    std::string text;
  };

  // The semantic value of a token or a symbol. Operator tokens carry their
  // sub-operator in `integer`.
  union Value {
    bool boolean;
    std::int32_t integer;
    int str;  // pool handle
    const Importance* imp;
    Importance* imp_lhs;
    bool* bool_lhs;
    IntLhs* int_lhs;
    StrLhs* str_lhs;
  };

  ConfigLexer(Config& config, const std::string& name, const std::string& log_dir,
              const std::string& config_file, std::istream* in);
  ConfigLexer(const ConfigLexer&) = delete;
  ConfigLexer& operator=(const ConfigLexer&) = delete;

  // Scans one token: returns its code (0 at end of input) and writes its value
  // and location through the two pointers the parser set.
  int scan();
  void set_token_cells(Value* value, Location* location) {
    value_ = value;
    location_ = location;
  }

  // Writes "error: <message>: at line L.C" (the current position) to the
  // error channel and throws it.
  [[noreturn]] void raise(const std::string& message);
  // Same, for a span of the text.
  [[noreturn]] void raise(const std::string& message, const Location& where);

  std::ostream& output() { return output_file_.stream(); }
  std::ostream& error_output() { return error_file_.stream(); }
  Position position() const { return Position{line_, column_}; }

  // The location of the token at which the last syntax error was found.
  Location syntax_error_location;

  // An empty persistent string: the value of string operations skipped
  // because the text is not executing.
  int empty_string() const { return empty_handle_; }

 private:
  int lookahead(std::size_t offset);
  void consume(std::size_t count);
  void begin_token();
  void end_token(int length);
  void skip_blanks_and_comments();
  int scan_word();
  int scan_number();
  int scan_string();
  int scan_importance_or_error();
  int scan_operator();
  int operator_token(int c, int next, int after, int* length);
  int predefined(int number);
  int predefined_other(int index);
  void fill_tables();
  [[noreturn]] void unexpected_token(int length);

  Config& config_;
  SizeLhs size_lhs_;
  DisplayMaskLhs display_mask_lhs_;
  DisplayWidthMajorStepsLhs major_steps_lhs_;
  DisplayWidthMinorStepsLhs minor_steps_lhs_;
  DisplayWidthWorkflowNamesLhs workflow_names_lhs_;
  DisplayWidthWorkflowIdsLhs workflow_ids_lhs_;
  DisplayWidthActorsLhs actors_lhs_;
  ConsultantLhs consultant_lhs_;
  OutputFileLhs output_file_;
  OutputFileLhs error_file_;
  AboutLhs about_lhs_;
  std::map<std::string, int> keywords_;
  std::map<std::string, int> identifiers_;
  Value* value_ = nullptr;
  Location* location_ = nullptr;
  int line_ = 1;
  int column_ = 1;

  std::istream* in_;
  std::string ahead_;  // characters read from the stream, not yet consumed
  bool at_end_ = false;
  // The stream failed (went bad or threw) rather than ending: whatever error
  // the cut statement gives, the run reports "wrong syntax".
  bool stream_failed_ = false;
  std::string text_;  // the text of the token being scanned
  int empty_handle_ = 0;
};

// "error: <message>: at line L.C" or "error: <message>: between line L.C and
// line L.C".
std::ostream& operator<<(std::ostream& out, const ConfigLexer::Error& error);

}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIG_CONFIGLEXER_H
