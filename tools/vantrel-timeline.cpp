// vantrel-timeline: where the time went. Reads Vantrel text and XML logs
// (any mix, rotated files included), pairs every opening record with its
// closing record per process and thread, and writes a timeline.
//
//   vantrel-timeline [--json FILE] [--html FILE] [--otlp FILE] [--host NAME | --host-from-dir]
//                    [--top N] [--merge-ids] LOGFILE...
//   vantrel-timeline --version
//
// --json FILE   trace-event JSON (opens in Perfetto UI or chrome://tracing)
// --html FILE   a self-contained page with one lane per process and thread
// Without --json and --html: a summary per scope label on the standard
// output, sorted by total time (--top N: the first N rows; --merge-ids: one
// row per step name, "order#17" and "order#18" counting as "order#*").
// Exit status: 0; 1 when an input was skipped (missing, a directory, not a
// Vantrel log) or had problems (reported on the standard error, the output
// still written from the rest); 2 for a usage error, no readable log, or an
// output that cannot be written. "-" reads the standard input.
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <Vantrel/Version.h>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/LogReader.h"
#include "tools/timeline/Outputs.h"
#include "tools/timeline/Pairing.h"

namespace {

const char usage[] =
    "usage: vantrel-timeline [--json FILE] [--html FILE] [--otlp FILE] [--host NAME | "
    "--host-from-dir]\n"
    "                        [--top N] [--merge-ids] LOGFILE...\n";

const char help[] =
    "Reads Vantrel text and XML logs (any mix, rotated files included; - is the\n"
    "standard input) and shows where the time went.\n"
    "\n"
    "  --json FILE   trace-event JSON (Perfetto UI, chrome://tracing)\n"
    "  --html FILE   a self-contained page, one lane per process and thread\n"
    "  --otlp FILE   OpenTelemetry traces, OTLP/JSON (POST to a collector's /v1/traces)\n"
    "  --host NAME   the host the logs come from (OTLP host.name)\n"
    "  --host-from-dir  each file's host is the name of its directory\n"
    "  --top N       summary: the N labels with the most total time\n"
    "  --merge-ids   summary: one row per step name (order#17, order#18: order#*)\n"
    "  --help        this text\n"
    "  --version     the version\n"
    "\n"
    "Without --json, --html and --otlp: a summary per scope label on the standard output.\n"
    "Exit status: 0; 1 when an input was skipped or had bad records (the output is\n"
    "still written from the rest); 2 for a usage error, no readable log, or an\n"
    "output that cannot be written.\n";

struct Options {
  bool help = false;
  bool version = false;
  std::string json;
  std::string html;
  std::string otlp;
  std::string host;
  bool host_from_dir = false;
  std::size_t top = 0;
  bool merge_ids = false;
  std::vector<std::string> logs;
};

// False on a usage error.
bool read_options(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "--json" && has_value) {
      options.json = argv[++i];
    } else if (arg == "--html" && has_value) {
      options.html = argv[++i];
    } else if (arg == "--otlp" && has_value) {
      options.otlp = argv[++i];
    } else if (arg == "--host" && has_value) {
      options.host = argv[++i];
    } else if (arg == "--host-from-dir") {
      options.host_from_dir = true;
    } else if (arg == "--top" && has_value) {
      char* end = nullptr;
      long top = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || top < 0) return false;
      options.top = static_cast<std::size_t>(top);
    } else if (arg == "--merge-ids") {
      options.merge_ids = true;
    } else if (arg == "--help") {
      options.help = true;
    } else if (arg == "--version") {
      options.version = true;
    } else if (arg == "--") {
      options.logs.insert(options.logs.end(), argv + i + 1, argv + argc);
      break;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return false;
    } else {
      options.logs.push_back(arg);
    }
  }
  return options.help || options.version || !options.logs.empty();
}

// Probes every file and orders them by their first time, so that a process's
// rotated files are read from the oldest; files without a time come last.
std::vector<Timeline::LogProbe> probe_all(const Options& options,
                                          Timeline::Diagnostics& diagnostics) {
  std::vector<Timeline::LogProbe> probes;
  for (const std::string& path : options.logs) {
    Timeline::LogProbe probe;
    if (Timeline::probe_log(path, probe, diagnostics) == Timeline::ProbeResult::Log)
      probes.push_back(probe);
  }
  std::stable_sort(probes.begin(), probes.end(), [](const auto& a, const auto& b) {
    if (a.has_time != b.has_time) return a.has_time;
    return a.has_time && a.first_ms < b.first_ms;
  });
  return probes;
}

// The host a file comes from: --host, or with --host-from-dir the name of
// the directory that holds it (central collection keeps one per host).
std::string host_of(const Options& options, const std::string& path) {
  if (!options.host_from_dir) return options.host;
  std::string absolute = path;
  if (path.empty() || path[0] != '/') {
    char* cwd = ::getcwd(nullptr, 0);
    absolute = std::string(cwd ? cwd : ".") + "/" + path;
    std::free(cwd);
  }
  std::size_t slash = absolute.rfind('/');
  std::size_t before = slash == 0 ? std::string::npos : absolute.rfind('/', slash - 1);
  return before == std::string::npos ? std::string()
                                     : absolute.substr(before + 1, slash - before - 1);
}

// The output files, closed at the end of the run.
struct OutputFiles {
  std::vector<std::pair<std::string, std::FILE*>> files;
  ~OutputFiles() {
    for (auto& file : files)
      if (file.second) std::fclose(file.second);
  }
  std::FILE* open(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file)
      std::fprintf(stderr, "vantrel-timeline: %s: cannot write: %s\n",
                   Timeline::printable(path).c_str(), std::strerror(errno));
    else
      files.emplace_back(path, file);
    return file;
  }
  // False when a file could not be written completely.
  bool close_all() {
    bool ok = true;
    for (auto& file : files) {
      bool failed = std::ferror(file.second) != 0;
      failed = std::fclose(file.second) != 0 || failed;
      file.second = nullptr;
      if (failed)
        std::fprintf(stderr, "vantrel-timeline: %s: write failed\n",
                     Timeline::printable(file.first).c_str());
      ok = ok && !failed;
    }
    return ok;
  }
};

int run(const Options& options) {
  Timeline::Diagnostics diagnostics;
  std::vector<Timeline::LogProbe> probes = probe_all(options, diagnostics);
  if (probes.empty()) return 2;
  double origin_ms = probes.front().has_time ? probes.front().first_ms : 0;
  OutputFiles files;
  Timeline::Outputs outputs;
  if (!options.json.empty()) {
    std::FILE* file = files.open(options.json);
    if (!file) return 2;
    outputs.add(std::make_unique<Timeline::JsonOutput>(file));
  }
  if (!options.html.empty()) {
    std::FILE* file = files.open(options.html);
    if (!file) return 2;
    outputs.add(std::make_unique<Timeline::HtmlOutput>(file, origin_ms, "Vantrel timeline"));
  }
  if (!options.otlp.empty()) {
    std::FILE* file = files.open(options.otlp);
    if (!file) return 2;
    outputs.add(std::make_unique<Timeline::OtlpOutput>(file));
  }
  if (options.json.empty() && options.html.empty() && options.otlp.empty())
    outputs.add(std::make_unique<Timeline::SummaryOutput>(stdout, options.top, options.merge_ids));
  Timeline::Pairing pairing(outputs, diagnostics);
  for (const Timeline::LogProbe& probe : probes) {
    pairing.begin_file(probe.path, host_of(options, probe.path));
    Timeline::read_log(probe, pairing, diagnostics);
  }
  pairing.finish();
  if (!files.close_all()) return 2;
  return diagnostics.count() > 0 || probes.size() < options.logs.size() ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!read_options(argc, argv, options)) {
    std::fputs(usage, stderr);
    return 2;
  }
  if (options.help) {
    std::fputs(usage, stdout);
    std::fputs(help, stdout);
    return 0;
  }
  if (options.version) {
    // The tool carries the library's objects, so the headers' version is its own.
    std::puts("vantrel-timeline " VANTREL_VERSION_STRING);
    return 0;
  }
  try {
    return run(options);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "vantrel-timeline: %s\n", error.what());
    return 2;
  }
}
