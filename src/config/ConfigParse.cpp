// Running a configuration text against the settings record, and printing the
// record.
#include <istream>
#include <new>
#include <ostream>

#include "ConfigParser.hpp"
#include "ErrnoKeeper.h"
#include "LogosInfo.h"
#include "Vantrel.h"
#include "config/ConfigRun.h"

namespace Vantrel {

namespace {

// Writes the error line of a failure that did not come from the text.
void report(ConfigRun& run, const char* message) {
  try {
    run.raise(message);
  } catch (...) {
    // raise always throws (the Error, or bad_alloc while writing it).
  }
}

// Parses and executes the whole text; an error leaves as ConfigLexer::Error.
void execute(ConfigRun& run, const std::istream& in) {
  int result = 0;
  try {
    ConfigParser parser(run);
    result = parser.parse();
  } catch (const ConfigLexer::StackExhausted&) {
    result = 1;
  }
  if (result != 0 || in.bad()) run.raise("wrong syntax");
}

// Runs the text; false when it failed. A failure that is not an error of the
// text is reported on the run's error channel like one, at the position
// reached: "error: out of memory: at line 3.1".
bool run_guarded(ConfigRun& run, const std::istream& in) {
  try {
    execute(run, in);
    return true;
  } catch (const ConfigLexer::Error&) {
    return false;
  } catch (const std::bad_alloc&) {
    report(run, "out of memory");
  } catch (...) {
    report(run, "wrong syntax");
  }
  return false;
}

struct WidthLine {
  const char* label;
  std::uint16_t Config::*field;
};

const WidthLine width_lines[] = {
    {"major_steps_display_width    = ", &Config::major_steps_display_width},
    {"minor_steps_display_width    = ", &Config::minor_steps_display_width},
    {"workflow_names_display_width = ", &Config::workflow_names_display_width},
    {"workflow_ids_display_width   = ", &Config::workflow_ids_display_width},
    {"actors_display_width         = ", &Config::actors_display_width},
};

}  // namespace

// The run works on a copy, so the record changes only when the whole text
// succeeded, in one assignment at the end. Nothing leaves: memory running
// out (or any other failure below) ends the run like an error of the text.
bool Config::parse(std::istream& in, const std::string& name, const std::string& log_dir,
                   const std::string& config_file) {
  const ErrnoKeeper keep_errno;
  Config work = *this;
  try {
    ConfigRun run(work, name, log_dir, config_file, &in);
    if (!run_guarded(run, in)) return false;
  } catch (...) {
    return false;  // the run could not even start, or its channels failed to close
  }
  *this = work;
  return true;
}

// The names of a destination built with empty texts: from the QZ_TRACE_
// variables and their defaults.
bool Config::parse(std::istream& in) {
  const ErrnoKeeper keep_errno;
  const LogosInfo names("", "", "", "");
  return parse(in, names.name(), names.logdir(), names.configfile());
}

std::ostream& Config::print(std::ostream& out) const {
  const Config defaults;
  out << "active       = " << (active ? "true" : "false") << ";";
  out << std::endl << "importance   = '" << importance.level_name() << "';";
  if (size != defaults.size) out << std::endl << "size         = " << size << ";";
  if (keep != defaults.keep)
    out << std::endl << "keep         = " << (keep ? "true" : "false") << ";";
  if (consultant[0] != '\0')
    out << std::endl << std::endl << "consultant   = '" << consultant << "';";
  if (effective_mask() != defaults.effective_mask())
    out << std::endl << std::endl << "display_mask = " << effective_mask() << ";";
  bool any_width = false;
  for (const WidthLine& w : width_lines) any_width = any_width || this->*w.field != 0;
  if (any_width) out << std::endl;
  for (const WidthLine& w : width_lines) {
    if (this->*w.field != 0) out << std::endl << w.label << this->*w.field << ";";
  }
  return out;
}

}  // namespace Vantrel
