#include "LogFile.h"

#include <ZelTools/Portable.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "DebugTrace.h"
#include "DeferredUnlink.h"
#include "Diagnostic.h"
#include "Library.h"

namespace Vantrel {

std::ostream* LogFile::begin_record(const RecordInputs& inputs, unsigned rank_) {
  record = inputs;
  rank = rank_;
  nested_lost_flag = false;
  in_record = false;
  do_header_file();
  in_record = true;
  return do_header_record();
}

void LogFile::end_record(const RecordInputs& inputs, unsigned rank_) {
  record = inputs;
  rank = rank_;
  do_footer_record();
  in_record = false;
  do_footer_file();
}

namespace LogFileNames {

std::string path_safe(const std::string& name) {
  const bool safe = (name.empty() || name[0] != '.') &&
                    name.find_first_of(std::string("/\0", 2)) == std::string::npos;
  return safe ? name : "Vantrel";
}

std::string file_name(const std::string& process_name, const std::string& destination_name,
                      long pid, SimpleTime::PhysicalTime time, const std::string& ext) {
  const std::string process = path_safe(process_name);
  const std::string destination = path_safe(destination_name);
  std::ostringstream name;
  name << process;
  if (process != destination) name << '_' << destination;
  name << '_' << pid << '_';
  SimpleTime::UtcTime(time).print(name, SimpleTime::UtcTime::Separator{'_', '_', '_', '_'});
  name << "_trace." << ext;
  return name.str();
}

std::string file_path(const DeviceInfo& info, SimpleTime::PhysicalTime time) {
  const ZelTools::Portable::Process process;
  const std::string name =
      file_name(process.name(), info.name(), process.id(), time, info.logext());
  const ZelTools::Portable::Pathname dir(info.logdir());
  return ZelTools::Portable::Pathname(dir, name).as_file();
}

}  // namespace LogFileNames

namespace LogFileSteps {

bool to_screen() { return Env::to_screen(); }

void opened(const LogOfstream& stream) {
  VANTREL_DEBUG("LogFile::do_header_file (): opened '" << stream.name << "'");
}

void re_opened(const LogOfstream& stream) {
  VANTREL_DEBUG("LogFile::do_header_file (): re-opened '" << stream.name << "'");
}

// The records are dropped as they are for any stream that fails; saying so
// keeps a missing directory or an exhausted descriptor table from passing
// unnoticed with the debug trace off. The state is per destination (its
// name and directory), kept by Diagnostic.
void open_outcome(const DeviceInfo& info, const LogOfstream& stream) {
  if (stream.to_screen) return;
  const std::string key = "logfile:" + info.name() + '\n' + info.logdir();
  if (stream.file_open()) {
    Diagnostic::forget(key);
  } else if (Diagnostic::first_time(key)) {
    Diagnostic::write_line("cannot open log file " + stream.name + ": " +
                           std::strerror(stream.open_error));
  }
}

void closed_inactive() {
  VANTREL_DEBUG("LogFile::do_footer_file (): close because config is not active");
}

void too_many(std::uint32_t count, std::uint32_t size) {
  VANTREL_DEBUG("LogFile::possibly_reset (): one trace message too many,"
                << " size=" << count << ", max_size=" << size);
}

bool keep_long(const LogOfstream& stream, SimpleTime::PhysicalTime start) {
  // Whole-millisecond clock readings: "not advanced" means a new file name
  // would equal the current one, so the current file stays in use.
  const SimpleTime::Duration elapsed = SimpleTime::clock().now() - start;
  if (SimpleTime::Duration::Zero < elapsed) return false;
  VANTREL_DEBUG("LogFile::possibly_reset (): keep long '" << stream.name << "'");
  return true;
}

void unlink_previous(const std::string& previous) {
  VANTREL_DEBUG("LogFile::possibly_reset (): unlinking '" << previous << "'");
  keep_for_unlink(previous);
}

namespace {

// Guards kept_paths and every store of paths_kept. Constant-initialised and
// the list never destroyed, so that a destination closed during the
// process's exit still finds them.
std::mutex kept_mutex;
std::vector<std::string>* kept_paths = nullptr;  // guarded by kept_mutex

}  // namespace

std::atomic<bool> paths_kept{false};

void keep_for_unlink(const std::string& path) {
  std::lock_guard<std::mutex> lock(kept_mutex);
  if (kept_paths == nullptr) kept_paths = new std::vector<std::string>;
  kept_paths->push_back(path);
  paths_kept.store(true, std::memory_order_relaxed);
}

void lock_for_fork() { kept_mutex.lock(); }

void unlock_after_fork(bool in_child) {
  if (in_child && kept_paths != nullptr) {
    kept_paths->clear();
    paths_kept.store(false, std::memory_order_relaxed);
  }
  kept_mutex.unlock();
}

void unlink_kept_now() {
  std::vector<std::string> paths;
  {
    std::lock_guard<std::mutex> lock(kept_mutex);
    if (kept_paths == nullptr) return;
    paths.swap(*kept_paths);
    paths_kept.store(false, std::memory_order_relaxed);
  }
  for (const std::string& path : paths) ZelTools::Portable::unlink(path);
}

void wait_for_next_name() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

}  // namespace LogFileSteps

template class LogFileExt<LogOfstream>;

}  // namespace Vantrel
