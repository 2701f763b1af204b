// vantrel-config: runs a configuration text as a destination would and shows
// the settings it leaves.
//
//   vantrel-config [--run-system] [--name NAME] [--logdir DIR] [--configfile PATH] [FILE]
//   vantrel-config --version
//
// Reads FILE, or the standard input when FILE is absent or "-". The names the
// text reads as "name", "log_dir" and "config_file" are those of the default
// destination (from the QZ_TRACE_ variables), each replaced by its option.
// system(...) statements are shown on the standard error, not run, unless
// --run-system is given: checking a file must not run its commands.
// Exit status: 0 with the resulting settings on the standard output; 1 when
// the text has an error (the error line is on the text's error channel,
// normally the standard error); 2 for a usage error or an unreadable FILE.
#include <fstream>
#include <iostream>
#include <string>

#include "LogosInfo.h"
#include "Vantrel.h"
#include "config/ConfigEval.h"

namespace {

struct Options {
  std::string name;
  std::string logdir;
  std::string configfile;
  std::string file;
  bool help = false;
  bool run_system = false;
  bool version = false;
};

const char usage[] =
    "usage: vantrel-config [--run-system] [--name NAME] [--logdir DIR] [--configfile PATH] "
    "[FILE]\n"
    "       vantrel-config --version\n";

// False on a usage error.
bool read_options(int argc, char** argv, Options& options) {
  bool have_file = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* target = nullptr;
    if (arg == "--name") target = &options.name;
    if (arg == "--logdir") target = &options.logdir;
    if (arg == "--configfile") target = &options.configfile;
    if (target) {
      if (++i == argc) return false;
      *target = argv[i];
    } else if (arg == "--run-system") {
      options.run_system = true;
    } else if (arg == "-h" || arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return false;
    } else if (have_file) {
      return false;
    } else {
      options.file = arg;
      have_file = true;
    }
  }
  return true;
}

int run(const Options& options, std::istream& in) {
  // Empty texts take the environment's values, as for the default destination.
  const Vantrel::LogosInfo names(options.name, "", options.logdir, options.configfile);
  Vantrel::Config config;
  if (!config.parse(in, names.name(), names.logdir(), names.configfile())) return 1;
  config.print(std::cout) << std::endl;
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!read_options(argc, argv, options)) {
    std::cerr << usage;
    return 2;
  }
  if (options.help) {
    std::cout << usage;
    return 0;
  }
  if (options.version) {
    std::cout << "vantrel-config " << Vantrel::version() << '\n';
    return 0;
  }
  Vantrel::ConfigEval::set_system_mode(options.run_system ? Vantrel::ConfigEval::SystemMode::Run
                                                          : Vantrel::ConfigEval::SystemMode::Show);
  if (options.file.empty() || options.file == "-") return run(options, std::cin);
  std::ifstream file(options.file);
  if (!file) {
    std::cerr << "vantrel-config: cannot open '" << options.file << "'\n";
    return 2;
  }
  return run(options, file);
}
