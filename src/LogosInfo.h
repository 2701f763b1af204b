// LogosInfo: the names of one destination, resolved once from the four texts
// given to its Logos and from the QZ_TRACE_ environment:
//
//   name        given, else QZ_TRACE_NAME (unless it holds a '/' or starts
//               with '.'), else the process name, else "Vantrel"
//   logext      "log" or "xml" as given; anything else (case matters) becomes
//               "xml" when QZ_TRACE_XML is "1" and "log" otherwise
//   logdir      given, else QZ_TRACE_LOGDIR, else "."
//   configfile  given, else QZ_TRACE_CONFIGFILE, else
//               (QZ_TRACE_CONFIGDIR, else ".") + "/" + name + "_trace.ini",
//               the name taken through LogFileNames::path_safe
//
// A privileged (setuid or setgid) process reads no QZ_TRACE_ variable and
// has no default configuration file: only a path the host gives is read.
//
// With no variable set, in a process "server": "server", "log", ".",
// "./server_trace.ini".
//
// Owned by its Logos, built and destroyed with it; the log file made by its
// factory points to it. The setters are called only while the destination's
// message lock is held, which also guards every read after construction.
//
// DeviceInfoSnap: a copy of a DeviceInfo's four names taken when it is built
// (or refreshed), kept by the settings so that they can be read without
// the message lock.
#ifndef VANTREL_SRC_LOGOSINFO_H
#define VANTREL_SRC_LOGOSINFO_H

#include <memory>
#include <string>

#include "LogFile.h"

namespace Vantrel {

class LogosInfo : public DeviceInfo {
 public:
  LogosInfo(const std::string& name, const std::string& logext, const std::string& logdir,
            const std::string& configfile);
  ~LogosInfo() override;
  LogosInfo(const LogosInfo&) = delete;
  LogosInfo& operator=(const LogosInfo&) = delete;

  std::string name() const override { return name_; }
  std::string logext() const override { return logext_; }
  std::string logdir() const override { return logdir_; }
  std::string configfile() const override { return configfile_; }

  // The factory of log files of this destination's format.
  const LogFileFactory& factory() const { return *factory_; }

  // The stored name, extension and directory, read in place by the crash
  // handler, which must not allocate. Guarded like the rest (message lock).
  const std::string& stored_name() const { return name_; }
  const std::string& stored_logext() const { return logext_; }
  const std::string& stored_logdir() const { return logdir_; }

  // "log" or "xml" select their format; anything else the default one.
  void set_logext(const std::string& logext);
  // An empty directory restores the environment's default.
  void set_logdir(const std::string& logdir);
  // An empty path is resolved as at construction.
  void set_configfile(const std::string& configfile);

 private:
  std::string name_;
  std::string logext_;
  std::unique_ptr<const LogFileFactory> factory_;  // matches logext_
  std::string logdir_default_;                     // QZ_TRACE_LOGDIR or "."
  std::string logdir_;                             // effective directory
  std::string configdir_;                          // QZ_TRACE_CONFIGDIR or "."
  std::string configfile_;                         // effective path
};

class DeviceInfoSnap : public DeviceInfo {
 public:
  explicit DeviceInfoSnap(const DeviceInfo& source);

  std::string name() const override { return name_; }
  std::string logext() const override { return logext_; }
  std::string logdir() const override { return logdir_; }
  std::string configfile() const override { return configfile_; }

  // Copies the source's names again.
  void refresh();

 private:
  const DeviceInfo* source_;  // not owned; outlives the snapshot
  std::string name_;
  std::string logext_;
  std::string logdir_;
  std::string configfile_;
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGOSINFO_H
