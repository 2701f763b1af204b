// The message path against spdlog, on the same work in the same run:
//   - a message filtered out by the threshold;
//   - an active record of about 60 bytes to a file, flushed after every record,
//     on one thread and on two threads sharing the destination.
//
// The process re-executes itself once with QZ_TRACE_LOGDIR pointing at a fresh
// scratch directory, because the library reads its environment at start.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <Vantrel.h>

#include <cstdlib>
#include <string>

#ifdef VANTREL_HAVE_SPDLOG
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/sinks/null_sink.h>
#include <spdlog/spdlog.h>
#endif

namespace {

std::string scratch_dir() {
  const char* dir = std::getenv("QZ_TRACE_LOGDIR");
  return dir ? dir : ".";
}

void use_settings(bool active, const Vantrel::Importance& threshold) {
  Vantrel::Config config;
  config.active = active;
  config.importance = threshold;
  config.size = 1000000;  // no rotation inside a run
  Vantrel::Admin::config(config);
}

void BM_Vantrel_FilteredOut(benchmark::State& state) {
  if (state.thread_index() == 0) use_settings(true, Vantrel::M);
  int i = 0;
  for (auto _ : state) Vantrel::Printf(Vantrel::XS)("filtered message number %d", ++i);
}
BENCHMARK(BM_Vantrel_FilteredOut);

void BM_Vantrel_FlushedRecord(benchmark::State& state) {
  if (state.thread_index() == 0) use_settings(true, Vantrel::M);
  int i = 0;
  for (auto _ : state)
    Vantrel::Printf(Vantrel::L)("request %d served from cache in 12 ms, size 4096 bytes", ++i);
}
BENCHMARK(BM_Vantrel_FlushedRecord)->Threads(1)->Threads(2)->UseRealTime();

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
    auto sink = std::make_shared<spdlog::sinks::basic_file_sink_mt>(scratch_dir() +
                                                                    "/spdlog_bench.log", true);
    auto l = std::make_shared<spdlog::logger>("file", sink);
    l->set_level(spdlog::level::trace);
    l->flush_on(spdlog::level::trace);
    return l;
  }();
  return logger;
}

void BM_Spdlog_FilteredOut(benchmark::State& state) {
  auto logger = spdlog_filtered();
  int i = 0;
  for (auto _ : state) logger->debug("filtered message number {}", ++i);
}
BENCHMARK(BM_Spdlog_FilteredOut);

void BM_Spdlog_FlushedRecord(benchmark::State& state) {
  auto logger = spdlog_file();
  int i = 0;
  for (auto _ : state) logger->info("request {} served from cache in 12 ms, size 4096 bytes", ++i);
}
BENCHMARK(BM_Spdlog_FlushedRecord)->Threads(1)->Threads(2)->UseRealTime();
#endif

}  // namespace

int main(int argc, char** argv) {
  if (!std::getenv("QZ_TRACE_LOGDIR")) {
    char dir[] = "/tmp/vantrel-bench-XXXXXX";
    if (::mkdtemp(dir) && ::setenv("QZ_TRACE_LOGDIR", dir, 1) == 0) {
      ::execv("/proc/self/exe", argv);
    }
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
