// Reading Vantrel log files, text or XML, recognised from their content.
//
// main probes every input file first (to learn its format and first time,
// so that rotated files of a process are read in order), then reads them one
// after the other with read_log, which streams the file in blocks and hands
// each record to the RecordSink; nothing of a file is kept once its records
// are handed on. Problems go to the Diagnostics and the rest of the file is
// still read. Single-threaded, no lock.
#ifndef VANTREL_TOOLS_TIMELINE_LOG_READER_H
#define VANTREL_TOOLS_TIMELINE_LOG_READER_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/Record.h"

namespace Timeline {

// Receives what the readers find, in file order.
class RecordSink {
 public:
  virtual ~RecordSink() = default;
  virtual void record(const Record& record) = 0;
  // The process name that a file gives for a process id.
  virtual void process_name(std::int64_t pid, const std::string& name) = 0;
};

enum class Format : std::uint8_t { Text, Xml };

struct LogProbe {
  std::string path;  // as given; "-" is the standard input
  Format format = Format::Text;
  double first_ms = 0;    // the first time printed in the file
  bool has_time = false;  // false: no time in the file's first block
  // A stream (the standard input, a pipe) is copied here while probed, so
  // that it can be read after the files that start before it.
  std::shared_ptr<std::FILE> spool;
};

// What probe_log found.
enum class ProbeResult : std::uint8_t { Log, NotALog, Unreadable };

// Looks at the beginning of `path`: XML when the first non-blank character
// is '<', text otherwise. Unreadable (a missing file, a directory) and
// NotALog (no record head of either format in the first block: an empty
// file, a configuration file, a web page, binary data) are reported.
ProbeResult probe_log(const std::string& path, LogProbe& probe, Diagnostics& diagnostics);

// Reads every record of the file into `sink`.
void read_log(const LogProbe& probe, RecordSink& sink, Diagnostics& diagnostics);

// Read a log from `file`, reporting problems under `name`; exposed for the
// fuzz targets and tests of the parsers.
void read_text_log(std::FILE* file, const std::string& name, RecordSink& sink,
                   Diagnostics& diagnostics);
void read_xml_log(std::FILE* file, const std::string& name, RecordSink& sink,
                  Diagnostics& diagnostics);
// The XML reader with expat alone, for the tests that compare the two.
void read_xml_log_with_expat(std::FILE* file, const std::string& name, RecordSink& sink,
                             Diagnostics& diagnostics);

// The process name in a log file name "<process>_<destination>_<pid>_...":
// everything before "_<pid>_", or "" when the name does not hold the pid.
std::string process_from_file_name(const std::string& path, std::int64_t pid);

}  // namespace Timeline

#endif  // VANTREL_TOOLS_TIMELINE_LOG_READER_H
