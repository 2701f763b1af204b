// The state of one configuration run: its string pool, execution flags,
// settable objects, channels and error reports.
#include "config/ConfigRun.h"

#include <ostream>

namespace Vantrel {

void ConfigFlagStack::push(bool condition) {
  executing_ = condition && executing_;
  flags_.push_back(executing_);
}

void ConfigFlagStack::pop() {
  if (!flags_.empty()) flags_.pop_back();
  executing_ = flags_.empty() ? true : flags_.back() != 0;
}

ConfigRun::ConfigRun(Config& config, const std::string& name, const std::string& log_dir,
                     const std::string& config_file, std::istream* in)
    : config_(config),
      names_(name, log_dir, config_file),
      size_lhs_(&config),
      display_mask_lhs_(&config),
      major_steps_lhs_(&config, &Config::major_steps_display_width),
      minor_steps_lhs_(&config, &Config::minor_steps_display_width),
      workflow_names_lhs_(&config, &Config::workflow_names_display_width),
      workflow_ids_lhs_(&config, &Config::workflow_ids_display_width),
      actors_lhs_(&config, &Config::actors_display_width),
      consultant_lhs_(&config),
      output_file_(false),
      error_file_(true),
      about_lhs_(&output_file_),
      int_lhs_{&size_lhs_,           &display_mask_lhs_, &major_steps_lhs_, &minor_steps_lhs_,
               &workflow_names_lhs_, &workflow_ids_lhs_, &actors_lhs_},
      str_lhs_{&consultant_lhs_, &output_file_, &error_file_, &about_lhs_},
      lexer_(*this, in) {
  empty_handle_ = add(std::string(), true);
}

void ConfigRun::raise(const std::string& message) { report(lexer_.error_here(message)); }

void ConfigRun::raise(const std::string& message, const ConfigLexer::Location& where) {
  report(lexer_.error_at(message, where));
}

void ConfigRun::report(const ConfigLexer::Error& error) {
  error_output() << error << std::endl;
  throw error;
}

void ConfigRun::check_string_length(std::size_t length) {
  if (length > max_string_length)
    raise("string longer than " + std::to_string(max_string_length) + " bytes");
}

}  // namespace Vantrel
