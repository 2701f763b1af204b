// Throughput and memory of vantrel-timeline on large generated logs.
//
// Each case writes a text (or XML) log of the given size once, with eight
// threads running nested workflow scopes and messages, then runs the built
// tool on it: the summary, the JSON, the HTML or the OTLP/JSON. Reported: bytes per second
// of log read, and the tool's peak resident size (max_rss_mb), which must not
// grow with the log, since closed scopes are not kept, and the throughput on
// the tool's CPU time (cpu_mb_per_s), which a loaded machine does not skew.
//   VANTREL_TIMELINE_BENCH_MB=1024 ./timeline_bench    # the 1 GB case
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#ifndef VANTREL_TIMELINE_TOOL
#define VANTREL_TIMELINE_TOOL "vantrel-timeline"
#endif

namespace {

constexpr int threads = 8;

// Text record of the given tag on a thread, at `ms` milliseconds of the day.
void text_record(std::FILE* out, long ms, int tid, char tag, const char* text) {
  std::fprintf(out, "2026/12/06 %02ld:%02ld:%02ld.%03ld|>=| | | 4242|%4d|%c|||||||||||||||%s\n",
               ms / 3600000 % 24, ms / 60000 % 60, ms / 1000 % 60, ms % 1000, 5000 + tid, tag,
               text);
}

void xml_record(std::FILE* out, long ms, int tid, char tag, const char* text, long rank) {
  std::fprintf(out,
               "<Msg\nRank=\"%ld\"\nTime=\"2026/12/06 %02ld:%02ld:%02ld.%03ld\"\nPid=\"4242\"\n"
               "Tid=\"%d\"\nImp=\"&gt;=\">\n<Workflow>\n<Tick\nMajor=\"1\"\nMinor=\"2\"/>\n<Depth\n"
               "Major=\"1\"\nMinor=\"1\"%s/>\n<Root\nName=\"order\"\nId=\"%d\"/>\n</Workflow>\n"
               "<Actors\nUser=\"ann\"/>\n%s\n</Msg>\n",
               rank, ms / 3600000 % 24, ms / 60000 % 60, ms / 1000 % 60, ms % 1000, 5000 + tid,
               tag == '{' ? "\nScope=\"Open\"" : (tag == '}' ? "\nScope=\"Close\"" : ""), tid,
               text);
}

// One request on a thread: a root with two nested steps and a message.
void request(std::FILE* out, bool xml, long& ms, int tid, long& rank) {
  struct Line {
    char tag;
    const char* text;
  };
  static const Line lines[] = {
      {'{', "order#17"},       {'{', "check#c"},        {' ', "stock is fine"},  {'{', "price#p"},
      {'}', "price#p: 0.002"}, {'}', "check#c: 0.003"}, {'}', "order#17: 0.004"}};
  for (const Line& line : lines) {
    if (xml)
      xml_record(out, ms, tid, line.tag, line.text, ++rank);
    else
      text_record(out, ms, tid, line.tag, line.text);
    ++ms;
  }
}

// The generated log of `megabytes` (written once per format and size).
const std::string& log_file(bool xml, long megabytes) {
  static std::map<std::pair<bool, long>, std::string> files;
  std::string& path = files[{xml, megabytes}];
  if (!path.empty()) return path;
  const char* dir = std::getenv("TMPDIR");
  path = std::string(dir ? dir : "/tmp") + "/vantrel_timeline_bench_" + std::to_string(::getpid()) +
         "_" + std::to_string(megabytes) + (xml ? ".xml" : ".log");
  std::FILE* out = std::fopen(path.c_str(), "w");
  if (!out) return path;
  if (xml)
    std::fputs(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel\nProcess=\"bench\"\n"
        "Pid=\"4242\">\n",
        out);
  long ms = 0, rank = 0;
  while (std::ftell(out) < megabytes * 1024 * 1024)
    for (int tid = 0; tid < threads; ++tid) request(out, xml, ms, tid, rank);
  if (xml) std::fputs("</Vantrel>\n", out);
  std::fclose(out);
  return path;
}

void remove_logs() {
  // The files are named after this process; remove what the cases wrote.
  for (bool xml : {false, true})
    for (long mb : {64L, 256L, 1024L, 4096L}) {
      std::string name = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") +
                         "/vantrel_timeline_bench_" + std::to_string(::getpid()) + "_" +
                         std::to_string(mb) + (xml ? ".xml" : ".log");
      std::remove(name.c_str());
    }
}

double peak_child_rss_mb() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// User and system time of the finished children, in seconds.
double child_cpu_seconds() {
  rusage usage{};
  ::getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

void run_tool(benchmark::State& state, bool xml, const std::string& options) {
  long megabytes = state.range(0);
  const std::string& log = log_file(xml, megabytes);
  std::string command =
      std::string(VANTREL_TIMELINE_TOOL) + " " + options + " '" + log + "' >/dev/null";
  double cpu_before = child_cpu_seconds();
  for (auto _ : state) {
    int status = std::system(command.c_str());
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) state.SkipWithError("the tool failed");
  }
  state.SetBytesProcessed(state.iterations() * megabytes * 1024 * 1024);
  state.counters["max_rss_mb"] = peak_child_rss_mb();
  // Throughput on the tool's own CPU time: what the machine gives when it
  // is not shared with other work.
  double cpu = child_cpu_seconds() - cpu_before;
  if (cpu > 0)
    state.counters["cpu_mb_per_s"] = static_cast<double>(state.iterations() * megabytes) / cpu;
}

void BM_TextSummary(benchmark::State& state) { run_tool(state, false, ""); }
void BM_TextJson(benchmark::State& state) { run_tool(state, false, "--json /dev/null"); }
void BM_TextHtml(benchmark::State& state) { run_tool(state, false, "--html /dev/null"); }
void BM_XmlSummary(benchmark::State& state) { run_tool(state, true, ""); }
void BM_XmlJson(benchmark::State& state) { run_tool(state, true, "--json /dev/null"); }
void BM_TextOtlp(benchmark::State& state) { run_tool(state, false, "--otlp /dev/null"); }
void BM_XmlOtlp(benchmark::State& state) { run_tool(state, true, "--otlp /dev/null"); }

// The page of 100,000 scopes (four threads of nested pairs) in headless
// Chromium: render_ms is the page's own time from its navigation to the first
// frame after the load. Needs the tools `make browser-tools` installs.
void BM_HtmlPageInBrowser(benchmark::State& state) {
  const std::string tools = VANTREL_SOURCE_DIR "/build/browser-tools";
  if (::access("/usr/bin/chromium", X_OK) != 0 ||
      ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
    return state.SkipWithError("needs /usr/bin/chromium and `make browser-tools`");
  const std::string dir = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp");
  const std::string log = dir + "/vantrel_page_bench.log", page = dir + "/vantrel_page_bench.html";
  std::FILE* out = std::fopen(log.c_str(), "w");
  if (!out) return state.SkipWithError("cannot write the log");
  for (long ms = 0; ms < 50000; ++ms)
    for (auto [tag, text] : {std::pair<char, const char*>{'{', "outer"},
                             {'{', "inner"},
                             {'}', "inner: 0.0004"},
                             {'}', "outer: 0.0009"}})
      text_record(out, ms, static_cast<int>(ms % 4), tag, text);
  std::fclose(out);
  const std::string command = std::string(VANTREL_TIMELINE_TOOL) + " --html '" + page + "' '" +
                              log +
                              "' && node " VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js '" +
                              tools + "' check '" + page + "' 4 100000";
  double render_ms = 0;
  for (auto _ : state) {
    std::FILE* verdict = ::popen(command.c_str(), "r");
    char line[256] = "";
    if (!verdict || !std::fgets(line, sizeof line, verdict) ||
        std::sscanf(line, "ok render_ms=%lf", &render_ms) != 1)
      state.SkipWithError(("the page failed: " + std::string(line)).c_str());
    if (verdict) ::pclose(verdict);
  }
  state.counters["render_ms"] = render_ms;
  std::remove(log.c_str());
  std::remove(page.c_str());
}

long bench_megabytes() {
  const char* text = std::getenv("VANTREL_TIMELINE_BENCH_MB");
  long mb = text ? std::atol(text) : 64;
  return mb > 0 ? mb : 64;
}

void sizes(benchmark::internal::Benchmark* bench) {
  bench->Arg(bench_megabytes())->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();
}

BENCHMARK(BM_TextSummary)->Apply(sizes);
BENCHMARK(BM_TextJson)->Apply(sizes);
BENCHMARK(BM_TextHtml)->Apply(sizes);
BENCHMARK(BM_XmlSummary)->Apply(sizes);
BENCHMARK(BM_XmlJson)->Apply(sizes);
BENCHMARK(BM_TextOtlp)->Apply(sizes);
BENCHMARK(BM_XmlOtlp)->Apply(sizes);
BENCHMARK(BM_HtmlPageInBrowser)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  remove_logs();
  return 0;
}
