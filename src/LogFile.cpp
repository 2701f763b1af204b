#include "LogFile.h"

#include <ZelTools/Portable.h>

#include <chrono>
#include <mutex>
#include <sstream>
#include <thread>
#include <vector>

#include "DebugTrace.h"
#include "DeferredUnlink.h"
#include "Library.h"

namespace Vantrel {

std::ostream* LogFile::begin_record(const RecordInputs& inputs, unsigned rank_) {
  record = inputs;
  rank = rank_;
  nested_lost_flag = false;
  do_header_file();
  return do_header_record();
}

void LogFile::end_record(const RecordInputs& inputs, unsigned rank_) {
  record = inputs;
  rank = rank_;
  do_footer_record();
  do_footer_file();
}

namespace LogFileNames {

std::string file_name(const std::string& process, const std::string& destination, long pid,
                      SimpleTime::PhysicalTime time, const std::string& ext) {
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

SimpleTime::PhysicalTime unused_name_time(const DeviceInfo& info) {
  // Bounded: a clock that stands still (or a name that stays taken) must not
  // stall the message path; the last attempt is then used as it is.
  constexpr int attempts = 20;
  SimpleTime::PhysicalTime time = SimpleTime::clock().now();
  for (int i = 1; i < attempts; ++i) {
    if (!ZelTools::Portable::exists_file(LogFileNames::file_path(info, time))) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    time = SimpleTime::clock().now();
  }
  return time;
}

}  // namespace LogFileSteps

template class LogFileExt<LogOfstream>;

}  // namespace Vantrel
