// The log file of one destination: where its records go, when a file is
// opened, re-opened, closed and replaced by a fresh one.
//
// Every Logos owns exactly one LogFile, made by the LogFileFactory that its
// LogosInfo holds (LogFileExtFactory<LogFileLog> for "log" files,
// LogFileExtFactory<LogFileXml> for "xml" files), and deletes it when the
// Logos ends or when its names change; deleting it closes its file.
//
// Log-file classes never lock. The message path calls begin_record, writes the
// message text into the returned stream and calls end_record, all while it
// holds the destination's message lock; that lock guards every member below.
//
// File names, made when a new file is opened:
//   process "server", destination "db", pid 4242, dir "/var/log/app",
//   2007-10-18 21:21:07.045 UTC, extension "log"
//     => "/var/log/app/server_db_4242_2007_10_18_21_21_07_045_trace.log"
//   destination named like the process ("server")
//     => "/var/log/app/server_4242_2007_10_18_21_21_07_045_trace.log"
#ifndef VANTREL_SRC_LOGFILE_H
#define VANTREL_SRC_LOGFILE_H

#include <SimpleTime.h>
#include <Vantrel.h>

#include <cstdint>
#include <memory>
#include <ostream>
#include <string>

#include "LogOfstream.h"

namespace Vantrel {

// The names of a destination, as its log file reads them. Implemented by
// LogosInfo and DeviceInfoSnap; the implementation outlives every log file
// that points to it. A log file reads name, logext and logdir, never
// configfile.
class DeviceInfo {
 public:
  virtual ~DeviceInfo() = default;
  virtual std::string name() const = 0;
  virtual std::string logext() const = 0;  // "log" or "xml"
  virtual std::string logdir() const = 0;
  virtual std::string configfile() const = 0;
};

// What a record shows besides its text: the writing logger's view of the
// message. The pointers are the logger's and live as long as the record.
struct RecordInputs {
  const Importance* importance = nullptr;  // never null while a record is written
  int tag = 0;                             // a Logger::Tag: 0 Plain, 1 Open, 2 Close
  const Config* config = nullptr;          // the settings copied when the message began
  Context::Data* data = nullptr;           // the writing thread's context, may be null
};

// Where a crash record goes: what the crash handler reads of a log file
// (CrashHandler.h). Filled without the message lock, on the crashing thread,
// from plain reads that allocate nothing.
struct CrashSink {
  bool has_stream = false;        // a file (or the screen) was opened and not rotated away
  bool screen = false;            // records go to the standard output
  bool xml = false;               // an XML document: the record must close it
  bool document_begun = false;    // a record was completed in the current file
  bool in_record = false;         // a record is being written
  int fd = -1;                    // the open file, -1 when closed (or screen)
  const char* path = nullptr;     // the file's path, for re-opening a closed file
  const char* pending = nullptr;  // characters not yet written
  std::size_t pending_length = 0;
  std::size_t record_mark = 0;  // pending characters from before the record
  bool record_spilled = false;  // part of the current record reached the file
};

class LogFile {
 public:
  LogFile() = default;
  virtual ~LogFile() = default;
  LogFile(const LogFile&) = delete;
  LogFile& operator=(const LogFile&) = delete;

  // Opens the record: makes sure an output is open, writes the record's head
  // and returns the stream for the message text (null only when the concrete
  // writer has none). Clears the nested-trace flag.
  std::ostream* begin_record(const RecordInputs& inputs, unsigned rank);
  // Ends the record, then runs the after-record step (closing the file when
  // the record's settings are inactive, rotating it when it is full).
  void end_record(const RecordInputs& inputs, unsigned rank);
  // Set by the owner just before end_record: a nested message of the same
  // thread was dropped while this record was open.
  void nested_lost(bool lost) { nested_lost_flag = lost; }

  // For the crash handler only: see CrashSink.
  virtual CrashSink crash_sink() const { return CrashSink{}; }

 protected:
  // Before a record: make sure an output is open.
  virtual void do_header_file() {}
  // The record's leading part; returns the stream for the message text.
  virtual std::ostream* do_header_record() = 0;
  // The end of the record.
  virtual void do_footer_record() = 0;
  // After a record: closing, size limit.
  virtual void do_footer_file() {}

  // Guarded by the destination's message lock, like all log-file state.
  RecordInputs record;            // the record being written
  std::uint32_t rank = 0;         // its rank (the destination's message counter)
  bool nested_lost_flag = false;  // a nested message was dropped during it
  bool in_record = false;         // between begin_record and the end of end_record
};

// Helpers of LogFileExt that do not depend on the stream class.
namespace LogFileNames {

// A process or destination name as it may become part of a file name: a
// name that holds a '/' or a NUL, or starts with '.', could reach outside
// the directory or hide the file, and is replaced by "Vantrel".
//   "server" => "server";  "" => "";  "../x", "a/b", ".hidden" => "Vantrel"
std::string path_safe(const std::string& name);

// "<base>_<pid>_<yyyy_mm_dd_hh_mm_ss_mmm>_trace.<ext>", where base is the
// process name, or process "_" destination when the two differ, each taken
// through path_safe.
std::string file_name(const std::string& process, const std::string& destination, long pid,
                      SimpleTime::PhysicalTime time, const std::string& ext);
// The path of a new file of `info` named after `time` (the current process).
std::string file_path(const DeviceInfo& info, SimpleTime::PhysicalTime time);

}  // namespace LogFileNames

// A log file writing into a stream of class S (LogOfstream, or XmlOfstream
// which derives from it). Holds the stream and the file-rotation state; the
// concrete record writers derive from it. Created through its factory for a
// Logos and deleted by that Logos; it takes no lock (see above).
//
// States: no stream (at construction and after each rotation; the next record
// opens a new file), open, and closed (after a record with inactive settings;
// the next record re-opens the same file for appending).
template <class S>
class LogFileExt : public LogFile {
 public:
  // Touches no file: the first record opens one.
  explicit LogFileExt(const DeviceInfo& info_);
  // Deletes the stream, which closes the file.
  ~LogFileExt() override = default;

  CrashSink crash_sink() const override;

 protected:
  void do_header_file() override;
  void do_footer_file() override;

  // Guarded by the destination's message lock.
  std::unique_ptr<S> stream;       // the open output, null before the first record
  std::uint32_t count = 0;         // records written to the current file
  bool has_previous = false;       // a full previous file exists
  std::string previous;            // its path, or empty
  const DeviceInfo* info;          // the destination's names, not owned
  SimpleTime::PhysicalTime start;  // time stamp of the current file's name

 private:
  // Makes the stream of a new file named after the current time, or after a
  // later millisecond when a name is taken. The stream is failed when no
  // name could be created.
  void create_new_file();
  // The file is full: forget it, unlinking the one before it unless kept.
  void possibly_reset();
};

// Non-template halves of LogFileExt's steps (LogFile.cpp).
namespace LogFileSteps {

// True when records go to the standard output (QZ_TRACE_TO_SCREEN).
bool to_screen();
// Debug lines of do_header_file.
void opened(const LogOfstream& stream);
void re_opened(const LogOfstream& stream);
// After an attempt to open a file of the destination: a failure is said on
// standard error ("vantrel: cannot open log file <path>: <error text>") once,
// and again only after a file of that destination opened in between.
void open_outcome(const DeviceInfo& info, const LogOfstream& stream);
// Debug line of do_footer_file when the record's settings were inactive.
void closed_inactive();
// Debug line when the file holds `size` records or more.
void too_many(std::uint32_t count, std::uint32_t size);
// The keep-long rule: the clock has not advanced since `start`, so a new
// file's name would equal the current one. Writes its debug line when true.
bool keep_long(const LogOfstream& stream, SimpleTime::PhysicalTime start);
// Unlinks the previous file (with its debug line); failures are ignored.
void unlink_previous(const std::string& previous);
// How often a new file's name is tried: a name that is taken (by a file this
// process made in the same millisecond through a log file since replaced, by
// another destination of the same name, or by anything planted there) is
// never opened; the next millisecond's name is tried instead. Bounded, so
// that a clock that stands still cannot stall the message path.
constexpr int name_attempts = 20;
// Waits for the clock to reach the next millisecond's name.
void wait_for_next_name();

}  // namespace LogFileSteps

template <class S>
LogFileExt<S>::LogFileExt(const DeviceInfo& info_)
    : info(&info_), start(SimpleTime::clock().now()) {}

template <class S>
void LogFileExt<S>::do_header_file() {
  if (stream) {
    const bool was_open = stream->file_open();
    stream->re_open();
    LogFileSteps::re_opened(*stream);
    if (stream->file_open() || stream->to_screen) {
      if (!was_open) LogFileSteps::open_outcome(*info, *stream);
      if (LogFileBuffer* buffer = stream->file_buffer()) buffer->mark_record();
      return;
    }
    // The file was never created, or its name no longer leads to it (removed,
    // or replaced by a link or another file): a new file takes over.
    stream.reset();
  }
  if (LogFileSteps::to_screen()) {
    stream = std::make_unique<S>();
  } else {
    create_new_file();
  }
  count = 0;
  LogFileSteps::opened(*stream);
  LogFileSteps::open_outcome(*info, *stream);
  if (LogFileBuffer* buffer = stream->file_buffer()) buffer->mark_record();
}

template <class S>
void LogFileExt<S>::create_new_file() {
  for (int attempt = 1;; ++attempt) {
    start = SimpleTime::clock().now();
    stream = std::make_unique<S>(LogFileNames::file_path(*info, start));
    if (!stream->name_taken() || attempt == LogFileSteps::name_attempts) return;
    LogFileSteps::wait_for_next_name();
  }
}

template <class S>
CrashSink LogFileExt<S>::crash_sink() const {
  CrashSink sink;
  if (!stream) return sink;
  sink.has_stream = true;
  sink.screen = stream->to_screen;
  sink.document_begun = count > 0;
  sink.in_record = in_record;
  if (const LogFileBuffer* buffer = stream->file_buffer()) {
    sink.fd = buffer->fd();
    sink.path = stream->name.c_str();
    sink.pending = buffer->pending_data();
    sink.pending_length = buffer->pending_length();
    sink.record_mark = buffer->record_mark();
    sink.record_spilled = buffer->record_spilled();
  }
  return sink;
}

template <class S>
void LogFileExt<S>::do_footer_file() {
  if (!stream) return;
  const Config& config = *record.config;
  if (!config.active) {
    stream->close();
    LogFileSteps::closed_inactive();
  }
  count += 1;
  if (count < config.size) return;
  LogFileSteps::too_many(count, config.size);
  if (!stream->to_screen && LogFileSteps::keep_long(*stream, start)) return;
  possibly_reset();
}

template <class S>
void LogFileExt<S>::possibly_reset() {
  if (has_previous && !record.config->keep) LogFileSteps::unlink_previous(previous);
  has_previous = !stream->to_screen;
  previous = stream->to_screen ? std::string() : stream->name;
  stream.reset();
}

extern template class LogFileExt<LogOfstream>;

// Makes the log file of a destination.
class LogFileFactory {
 public:
  virtual ~LogFileFactory() = default;
  // A new log file reading its names from `info`, which must outlive it.
  virtual std::unique_ptr<LogFile> create(const DeviceInfo& info) const = 0;
};

// The factory of log files of class T (LogFileLog or LogFileXml).
template <class T>
class LogFileExtFactory : public LogFileFactory {
 public:
  std::unique_ptr<LogFile> create(const DeviceInfo& info) const override {
    return std::make_unique<T>(info);
  }
};

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGFILE_H
