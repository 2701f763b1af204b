// LogFileLog: the log file of a "log" destination, writing each message as
// one '|'-separated text line.
//
// Made by LogFileExtFactory<LogFileLog> for a Logos and owned by it (see
// LogFile.h); it takes no lock, the destination's message lock being held
// around every call. It keeps no state of its own between records; its only
// side effect beyond the output is advancing the writing thread's minor tick
// and depth on opening and closing messages.
//
// A record (display_mask 0x44a02, rank 1234, an opening Warning message):
//   2007/10/18 21:21:07.045034|>=|W| | 4242|3520|{||  5||  2|||order/check||||  ann||||start
//   time, rank % 100 | level | severity | exception | pid | tid | tag mark |
//   fourteen columns chosen by the mask, each followed by '|' | message text
// With an importance that carries its source position and src_file_mask or
// src_line_mask set, the line "main.cpp:42: this is Vantrel message 1234"
// comes first.
#ifndef VANTREL_SRC_LOGFILELOG_H
#define VANTREL_SRC_LOGFILELOG_H

#include <SimpleTime.h>

#include <cstdint>
#include <ostream>

#include "LogFile.h"
#include "LogOfstream.h"

namespace Vantrel {

class LogFileLog : public LogFileExt<LogOfstream> {
 public:
  explicit LogFileLog(const DeviceInfo& info);

 protected:
  // Resets the target's format state, writes the optional source line and the
  // record head; returns the target stream, never null.
  std::ostream* do_header_record() override;
  // Ends the line; adds the nested-trace line when a nested message was lost.
  void do_footer_record() override;
};

// The facts of one text record, gathered when it is written.
struct TextRecordHead {
  SimpleTime::PhysicalTime time;
  unsigned rank = 0;
  long pid = 0;
  unsigned long tid = 0;
  bool unwinding = false;  // an exception is in flight in the writing thread
  RecordInputs inputs;
};

// Writes everything of a record before its text: resets the format state,
// the source line when asked for, the time, rank and fixed head, then the
// fourteen columns (advancing the context's minor tick and depth).
// With `file`, the target's own log-file buffer, the head goes straight into
// it.
void write_text_record_head(std::ostream& out, const TextRecordHead& head,
                            LogFileBuffer* file = nullptr);

// The end of a record: a line break and, when a nested message was lost, the
// line "### Vantrel: Incorrect usage: NestedTrace Lost ###".
void write_text_record_end(std::ostream& out, bool nested_lost, LogFileBuffer* file = nullptr);

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGFILELOG_H
