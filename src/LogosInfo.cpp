#include "LogosInfo.h"

#include <ZelTools/Portable.h>

#include "Library.h"
#include "LogFileLog.h"
#include "LogFileXml.h"

namespace Vantrel {
namespace {

const char* const fallback_name = "Vantrel";

std::string resolve_name(const std::string& given) {
  if (!given.empty()) return given;
  std::string name = Env::env("NAME", "");
  // A name from the environment that could not name files is not taken.
  if (LogFileNames::path_safe(name) != name) name.clear();
  if (name.empty()) name = ZelTools::Portable::Process().name();
  if (name.empty()) name = fallback_name;
  return name;
}

// Exact, case-sensitive match; anything else takes the environment's default.
std::string resolve_logext(const std::string& given) {
  if (given == "log" || given == "xml") return given;
  return Env::xml() ? "xml" : "log";
}

std::unique_ptr<const LogFileFactory> make_factory(const std::string& logext) {
  if (logext == "xml") return std::make_unique<LogFileExtFactory<LogFileXml>>();
  return std::make_unique<LogFileExtFactory<LogFileLog>>();
}

}  // namespace

LogosInfo::LogosInfo(const std::string& name, const std::string& logext, const std::string& logdir,
                     const std::string& configfile)
    : name_(resolve_name(name)),
      logdir_default_(Env::env("LOGDIR", ".")),
      configdir_(Env::env("CONFIGDIR", ".")) {
  set_logext(logext);
  set_logdir(logdir);
  set_configfile(configfile);
}

LogosInfo::~LogosInfo() = default;

void LogosInfo::set_logext(const std::string& logext) {
  logext_ = resolve_logext(logext);
  factory_ = make_factory(logext_);
}

void LogosInfo::set_logdir(const std::string& logdir) {
  logdir_ = logdir.empty() ? logdir_default_ : logdir;
}

void LogosInfo::set_configfile(const std::string& configfile) {
  configfile_ = configfile.empty() ? Env::env("CONFIGFILE", "") : configfile;
  // A privileged process has no default file: it would lie in the caller's
  // current directory.
  if (configfile_.empty() && !Env::privileged()) {
    const std::string file = LogFileNames::path_safe(name_) + "_trace.ini";
    configfile_ = ZelTools::Portable::Pathname(configdir_, file).as_file();
  }
}

DeviceInfoSnap::DeviceInfoSnap(const DeviceInfo& source) : source_(&source) { refresh(); }

void DeviceInfoSnap::refresh() {
  name_ = source_->name();
  logext_ = source_->logext();
  logdir_ = source_->logdir();
  configfile_ = source_->configfile();
}

}  // namespace Vantrel
