// The message path against its peers, on the same work in the same run.
// Every benchmark is named "<case>/<library>"; bench/table.py turns the JSON
// output into one table of medians with ratios to the floor and the best peer.
//
// Libraries: "vantrel" is Printf, "vantrel{}" the {} front end (the same call
// as spdlog's), each peer under its own name.
//
// Cases:
//   filtered_out    a message below the threshold
//   record          a ~60-byte text message to a file, flushed after every record
//   record_2t       the same on two threads sharing one destination
//   context_record  the record inside a workflow step, with the mask showing it
//   xml_record      the record as an XML element
//   config_parse    running a typical 30-line configuration text
//   floor           one write(2) of a record-sized line; a relaxed atomic
//                   load and compare (what a filter can cost at the least)
//   latency_1t      every flushed record timed on its own (CLOCK_MONOTONIC
//   latency_4t      around each call), one thread and four threads on one
//                   destination; counters p50, p99, p99.9 and max in ns,
//                   pooled over the threads (VANTREL_BENCH_LATENCY_MESSAGES
//                   messages per case, 300000 unless set)
//
// The process re-executes itself once with QZ_TRACE_LOGDIR pointing at a fresh
// scratch directory, because the library reads its environment at start.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <Vantrel.h>

#include <time.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#ifdef VANTREL_HAVE_FMT
#include <Vantrel/Format.h>
#endif
#ifdef VANTREL_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#endif
#ifdef VANTREL_HAVE_GLOG
#include <glog/logging.h>
#endif
#ifdef VANTREL_HAVE_LOG4CXX
#include <log4cxx/fileappender.h>
#include <log4cxx/logger.h>
#include <log4cxx/patternlayout.h>
#endif

namespace {

constexpr const char* record_format = "request %d served from cache in 12 ms, size 4096 bytes";

std::string scratch_dir() {
  const char* dir = std::getenv("QZ_TRACE_LOGDIR");
  return dir ? dir : ".";
}

// Active at level M, files of 100000 records (rotation is part of the cost,
// amortised), with `mask` selecting the columns.
void use_settings(unsigned mask = 0) {
  Vantrel::Config config;
  config.active = true;
  config.importance = Vantrel::M;
  config.size = 100000;
  config.display_mask = mask;
  config.workflow_names_display_width = 8;
  config.workflow_ids_display_width = 4;
  config.actors_display_width = 6;
  Vantrel::Admin::config(config);
}

// ---------------------------------------------------------------------------
// Vantrel
// ---------------------------------------------------------------------------

void vantrel_filtered_out(benchmark::State& state) {
  use_settings();
  int i = 0;
  for (auto _ : state) Vantrel::Printf{Vantrel::XS}(record_format, ++i);
}

void vantrel_record(benchmark::State& state) {
  if (state.thread_index() == 0) use_settings();
  int i = 0;
  for (auto _ : state) Vantrel::Printf{Vantrel::L}(record_format, ++i);
}

void vantrel_context_record(benchmark::State& state) {
  using namespace Vantrel::Context;
  use_settings(Vantrel::workflow_mask | Vantrel::actors_mask);
  WorkflowScope order(Root(StepFields({"order"}, {"o42"}), SubFields{"alice"}));
  WorkflowScope check(Step(StepFields({"check"}, {"c42"})));
  int i = 0;
  for (auto _ : state) Vantrel::Printf{Vantrel::L}(record_format, ++i);
}

#ifdef VANTREL_HAVE_FMT
void vantrel_format_filtered_out(benchmark::State& state) {
  use_settings();
  int i = 0;
  for (auto _ : state)
    Vantrel::Format{Vantrel::XS}("request {} served from cache in 12 ms, size 4096 bytes", ++i);
}

void vantrel_format_record(benchmark::State& state) {
  if (state.thread_index() == 0) use_settings();
  int i = 0;
  for (auto _ : state)
    Vantrel::Format{Vantrel::L}("request {} served from cache in 12 ms, size 4096 bytes", ++i);
}
#endif

const Vantrel::Context::Device& xml_device() {
  static const Vantrel::Context::Device device("xmlbench", "xml", scratch_dir(), "");
  return device;
}

void vantrel_xml_record(benchmark::State& state) {
  Vantrel::Context::WithDevice bind(xml_device());
  use_settings();
  int i = 0;
  for (auto _ : state) Vantrel::Printf{Vantrel::L}(record_format, ++i);
}

// A typical host configuration: comments, conditions, masks, widths.
constexpr const char* config_text = R"(# service_trace.ini
# Trace settings of the order service.
active = true;
importance = m;
size = 20000;
keep = false;
# Columns: rank, workflow and actors.
display_mask = rank_mask | workflow_names_mask | actors_mask;
workflow_names_display_width = 12;
workflow_ids_display_width = 6;
actors_display_width = 8;
consultant = "ops";
if (debug) {
  importance = s;
  display_mask = display_mask | debug_mask;
} else {
  importance = l;
}
if (linux && !win32) {
  size = size * 2;
}
# Quieter on a long run.
if (size > 100000) keep = true;
major_steps_display_width = 3;
minor_steps_display_width = 3;
active = active && true;
# Name checks.
name == "service" ? (keep = true) : (keep = false);
importance = importance;
# end
)";

void vantrel_config_parse(benchmark::State& state) {
  for (auto _ : state) {
    Vantrel::Config config;
    std::istringstream in(config_text);
    benchmark::DoNotOptimize(config.parse(in, "service", "/var/log", "service_trace.ini"));
  }
}

// ---------------------------------------------------------------------------
// Floors
// ---------------------------------------------------------------------------

// A line as long as the library's default text record of record_format.
constexpr const char* floor_line =
    "2026/12/06 01:21:07.045|==| | |12345|1234| |||||||||||||||"
    "request 1234 served from cache in 12 ms, size 4096 bytes\n";

void floor_write(benchmark::State& state) {
  const std::string path = scratch_dir() + "/floor.log";
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::size_t length = std::strlen(floor_line);
  for (auto _ : state) benchmark::DoNotOptimize(::write(fd, floor_line, length));
  ::close(fd);
}

std::atomic<int> floor_threshold{2};

void floor_atomic(benchmark::State& state) {
  int level = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(level);
    benchmark::DoNotOptimize(level >= floor_threshold.load(std::memory_order_relaxed));
  }
}

// ---------------------------------------------------------------------------
// Peers
// ---------------------------------------------------------------------------

#ifdef VANTREL_HAVE_SPDLOG
std::shared_ptr<spdlog::logger> spdlog_filtered() {
  static auto logger = [] {
    auto l = std::make_shared<spdlog::logger>("filtered",
                                              std::make_shared<spdlog::sinks::null_sink_mt>());
    l->set_level(spdlog::level::info);
    return l;
  }();
  return logger;
}

std::shared_ptr<spdlog::logger> spdlog_file() {
  static auto logger = [] {
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(
        scratch_dir() + "/spdlog_bench.log", true);
    auto l = std::make_shared<spdlog::logger>("file", sink);
    l->set_level(spdlog::level::trace);
    l->flush_on(spdlog::level::trace);
    return l;
  }();
  return logger;
}

void spdlog_filtered_out(benchmark::State& state) {
  auto logger = spdlog_filtered();
  int i = 0;
  for (auto _ : state) logger->debug("request {} served from cache in 12 ms, size 4096 bytes", ++i);
}

void spdlog_record(benchmark::State& state) {
  auto logger = spdlog_file();
  int i = 0;
  for (auto _ : state) logger->info("request {} served from cache in 12 ms, size 4096 bytes", ++i);
}
#endif

#ifdef VANTREL_HAVE_GLOG
// Every message flushed at once (no buffered level, no delay).
void glog_start(const char* argv0) {
  FLAGS_log_dir = scratch_dir();
  FLAGS_logbuflevel = -1;
  FLAGS_logbufsecs = 0;
  FLAGS_logtostderr = false;
  FLAGS_alsologtostderr = false;
  FLAGS_stderrthreshold = google::GLOG_FATAL;
  FLAGS_v = 0;
  google::InitGoogleLogging(argv0);
}

// glog's cheap filtered-out form is a verbose message above the verbosity.
void glog_filtered_out(benchmark::State& state) {
  int i = 0;
  for (auto _ : state)
    VLOG(2) << "request " << ++i << " served from cache in 12 ms, size 4096 bytes";
}

void glog_record(benchmark::State& state) {
  int i = 0;
  for (auto _ : state)
    LOG(INFO) << "request " << ++i << " served from cache in 12 ms, size 4096 bytes";
}
#endif

#ifdef VANTREL_HAVE_LOG4CXX
log4cxx::LoggerPtr log4cxx_logger(const std::string& name, const log4cxx::LevelPtr& level) {
  LOG4CXX_DECODE_CHAR(logger_name, name);
  log4cxx::LoggerPtr logger = log4cxx::Logger::getLogger(logger_name);
  LOG4CXX_DECODE_CHAR(pattern, std::string("%d %p [%t] %m%n"));
  LOG4CXX_DECODE_CHAR(file, scratch_dir() + "/log4cxx_" + name + ".log");
  auto layout = std::make_shared<log4cxx::PatternLayout>(pattern);
  // A file appender flushes after every event by default.
  logger->addAppender(std::make_shared<log4cxx::FileAppender>(layout, file, false));
  logger->setAdditivity(false);
  logger->setLevel(level);
  return logger;
}

log4cxx::LoggerPtr log4cxx_filtered() {
  static auto logger = log4cxx_logger("filtered", log4cxx::Level::getInfo());
  return logger;
}

log4cxx::LoggerPtr log4cxx_file() {
  static auto logger = log4cxx_logger("file", log4cxx::Level::getTrace());
  return logger;
}

void log4cxx_filtered_out(benchmark::State& state) {
  auto logger = log4cxx_filtered();
  int i = 0;
  for (auto _ : state)
    LOG4CXX_DEBUG(logger, "request " << ++i << " served from cache in 12 ms, size 4096 bytes");
}

void log4cxx_record(benchmark::State& state) {
  auto logger = log4cxx_file();
  int i = 0;
  for (auto _ : state)
    LOG4CXX_INFO(logger, "request " << ++i << " served from cache in 12 ms, size 4096 bytes");
}
#endif

// ---------------------------------------------------------------------------
// Tail latency
// ---------------------------------------------------------------------------

struct Percentiles {
  double p50 = 0, p99 = 0, p999 = 0, max = 0;
};

// Sorts `samples` (nanoseconds) and reads the percentiles off it.
Percentiles percentiles_of(std::vector<std::int64_t>& samples) {
  Percentiles result;
  if (samples.empty()) return result;
  std::sort(samples.begin(), samples.end());
  const auto at = [&samples](double fraction) {
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(samples.size() - 1));
    return static_cast<double>(samples[index]);
  };
  result.p50 = at(0.50);
  result.p99 = at(0.99);
  result.p999 = at(0.999);
  result.max = static_cast<double>(samples.back());
  return result;
}

// Pools the samples of every thread of one run; each thread gets the
// percentiles of the whole pool once the last one has added its own.
class LatencyPool {
 public:
  Percentiles add(const std::vector<std::int64_t>& samples, int threads) {
    std::unique_lock<std::mutex> lock(mutex_);  // guards every member
    const unsigned run = run_;
    pooled_.insert(pooled_.end(), samples.begin(), samples.end());
    if (++arrived_ == threads) {
      result_ = percentiles_of(pooled_);
      pooled_.clear();
      arrived_ = 0;
      ++run_;
      finished_.notify_all();
    } else {
      finished_.wait(lock, [&] { return run_ != run; });
    }
    return result_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable finished_;
  std::vector<std::int64_t> pooled_;
  int arrived_ = 0;
  unsigned run_ = 0;
  Percentiles result_;
};

LatencyPool latency_pool;

std::int64_t monotonic_ns() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

using Message = std::function<void(int)>;

// Times every call of `message(i)` and reports the pooled percentiles;
// thread 0 runs `setup` first.
void latency(benchmark::State& state, const std::function<void()>& setup, const Message& message) {
  if (state.thread_index() == 0) setup();
  std::vector<std::int64_t> samples;
  samples.reserve(static_cast<std::size_t>(state.max_iterations));
  int i = 0;
  for (auto _ : state) {
    const std::int64_t start = monotonic_ns();
    message(++i);
    samples.push_back(monotonic_ns() - start);
  }
  const Percentiles result = latency_pool.add(samples, state.threads());
  // Every thread reports the same pooled values; averaging keeps them.
  const auto flags = benchmark::Counter::kAvgThreads;
  state.counters["p50"] = benchmark::Counter(result.p50, flags);
  state.counters["p99"] = benchmark::Counter(result.p99, flags);
  state.counters["p99.9"] = benchmark::Counter(result.p999, flags);
  state.counters["max"] = benchmark::Counter(result.max, flags);
}

std::int64_t latency_messages() {
  const char* text = std::getenv("VANTREL_BENCH_LATENCY_MESSAGES");
  const long long messages = text ? std::atoll(text) : 0;
  return messages > 0 ? messages : 300000;
}

// One thread and four threads (more than this machine's cores) on one
// destination, three repetitions each, interleaved with the other cases.
void add_latency_cases(
    const std::string& library, const Message& message,
    const std::function<void()>& setup = [] {}) {
  for (const int threads : {1, 4}) {
    const std::string name = "latency_" + std::to_string(threads) + "t/" + library;
    benchmark::RegisterBenchmark(name.c_str(), latency, setup, message)
        ->Iterations(latency_messages() / threads)
        ->Threads(threads)
        ->Repetitions(3)
        ->UseRealTime();
  }
}

void register_latency_cases() {
  add_latency_cases(
      "vantrel", [](int i) { Vantrel::Printf{Vantrel::L}(record_format, i); },
      [] { use_settings(); });
#ifdef VANTREL_HAVE_SPDLOG
  add_latency_cases("spdlog", [](int i) {
    static const auto logger = spdlog_file();
    logger->info("request {} served from cache in 12 ms, size 4096 bytes", i);
  });
#endif
#ifdef VANTREL_HAVE_GLOG
  add_latency_cases("glog", [](int i) {
    LOG(INFO) << "request " << i << " served from cache in 12 ms, size 4096 bytes";
  });
#endif
#ifdef VANTREL_HAVE_LOG4CXX
  add_latency_cases("log4cxx", [](int i) {
    static const auto logger = log4cxx_file();
    LOG4CXX_INFO(logger, "request " << i << " served from cache in 12 ms, size 4096 bytes");
  });
#endif
}

using Case = void (*)(benchmark::State&);

// The three forms of a message case: one thread, one thread on the real
// clock, two threads on one destination.
void add_message_cases(const std::string& library, Case filtered, Case record) {
  benchmark::RegisterBenchmark(("filtered_out/" + library).c_str(), filtered);
  benchmark::RegisterBenchmark(("record/" + library).c_str(), record)->UseRealTime();
  benchmark::RegisterBenchmark(("record_2t/" + library).c_str(), record)->Threads(2)->UseRealTime();
}

void register_all() {
  add_message_cases("vantrel", vantrel_filtered_out, vantrel_record);
#ifdef VANTREL_HAVE_FMT
  add_message_cases("vantrel{}", vantrel_format_filtered_out, vantrel_format_record);
#endif
  benchmark::RegisterBenchmark("context_record/vantrel", vantrel_context_record)->UseRealTime();
  benchmark::RegisterBenchmark("xml_record/vantrel", vantrel_xml_record)->UseRealTime();
  benchmark::RegisterBenchmark("config_parse/vantrel", vantrel_config_parse);
  benchmark::RegisterBenchmark("floor/write", floor_write)->UseRealTime();
  benchmark::RegisterBenchmark("floor/atomic", floor_atomic);
#ifdef VANTREL_HAVE_SPDLOG
  add_message_cases("spdlog", spdlog_filtered_out, spdlog_record);
#endif
#ifdef VANTREL_HAVE_GLOG
  add_message_cases("glog", glog_filtered_out, glog_record);
#endif
#ifdef VANTREL_HAVE_LOG4CXX
  add_message_cases("log4cxx", log4cxx_filtered_out, log4cxx_record);
#endif
  register_latency_cases();
}

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QZ_TRACE_LOGDIR")) {
    char dir[] = "/tmp/vantrel-bench-XXXXXX";
    if (::mkdtemp(dir) && ::setenv("QZ_TRACE_LOGDIR", dir, 1) == 0 &&
        ::setenv("VANTREL_BENCH_SCRATCH", dir, 1) == 0) {
      ::execv("/proc/self/exe", argv);
    }
    return 1;
  }
#ifdef VANTREL_HAVE_GLOG
  glog_start(argv[0]);
#endif
  register_all();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  // The scratch directory made above holds hundreds of megabytes of records;
  // files still open are written on unlinked until the process ends.
  if (const char* scratch = std::getenv("VANTREL_BENCH_SCRATCH")) {
    if (scratch == scratch_dir()) {
      const std::string command = "rm -rf '" + scratch_dir() + "'";
      if (std::system(command.c_str()) != 0) return 1;
    }
  }
  return 0;
}
