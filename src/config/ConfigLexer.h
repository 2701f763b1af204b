// ConfigLexer: the scanner of a configuration run.
//
// It reads the run's input stream character by character, keeps the line and
// column reached, and turns the text into the tokens of the generated parser
// (ConfigParser), with their values and locations. The names it recognises
// are looked up in fixed tables; the settable ones stand for the objects of
// the ConfigRun that owns the scanner. A run is single-threaded, so nothing
// here is shared and nothing takes a lock.
//
// The scanner is hand-written: one switch on the current character, with
// ASCII character classes that do not depend on the locale.
#ifndef VANTREL_SRC_CONFIG_CONFIGLEXER_H
#define VANTREL_SRC_CONFIG_CONFIGLEXER_H

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>

#include "Vantrel.h"

namespace Vantrel {

class ConfigRun;
namespace ConfigTargets {
struct IntLhs;
struct StrLhs;
}  // namespace ConfigTargets

class ConfigLexer {
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

  // Where a token or a recognised symbol stands; last_column is one past its
  // last character.
  struct Location {
    int first_line = 1;
    int first_column = 1;
    int last_line = 1;
    int last_column = 1;
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
    ConfigTargets::IntLhs* int_lhs;
    ConfigTargets::StrLhs* str_lhs;
  };

  // Scans `in` for `run`, which outlives the scanner.
  ConfigLexer(ConfigRun& run, std::istream* in);
  ConfigLexer(const ConfigLexer&) = delete;
  ConfigLexer& operator=(const ConfigLexer&) = delete;

  // Scans one token: returns its code (0 at end of input) and writes its value
  // and location through the two pointers the parser set.
  int scan();
  void set_token_cells(Value* value, Location* location) {
    value_ = value;
    location_ = location;
  }

  // The error a run raises for `message` at the current position, or for
  // the span `where`. Once the stream has failed, either is "wrong syntax" at
  // the current position: the failure cut the text, so the message would
  // describe a text that was never written.
  Error error_here(const std::string& message) const;
  Error error_at(const std::string& message, const Location& where) const;

  Position position() const { return Position{line_, column_}; }

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

  ConfigRun& run_;
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
};

// "error: <message>: at line L.C" or "error: <message>: between line L.C and
// line L.C".
std::ostream& operator<<(std::ostream& out, const ConfigLexer::Error& error);

}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIG_CONFIGLEXER_H
