// The text record, byte for byte (cases/text_records.txt), and the
// format-state reset.
#include "LogFileLog.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_records.h"

namespace Vantrel {
namespace {

using logfile_support::RecordCase;

void write_head(std::ostream& out, RecordCase& c) {
  const Importance importance = c.importance();
  write_text_record_head(
      out, TextRecordHead{c.time, c.rank, c.pid, c.tid, c.unwinding, c.inputs(importance)});
}

std::string record_text(RecordCase& c, const std::string& text, bool = false) {
  std::ostringstream out;
  write_head(out, c);
  out << text;
  write_text_record_end(out, c.lost);
  return out.str();
}

TEST(TextRecord, CaseFile) {
  EXPECT_EQ(logfile_support::run_case_file("text_records.txt", record_text), 41);
}

TEST(TextRecord, FormatStateIsResetAtEveryRecord) {
  std::ostringstream out;
  out << std::hex << std::showbase << std::left << std::setprecision(2) << std::setfill('*')
      << std::setw(20);
  RecordCase c;
  write_head(out, c);
  out << 255 << ' ' << 3.14159265 << ' ' << std::setw(4) << 7;
  EXPECT_EQ(out.str().substr(out.str().rfind('|') + 1), "255 3.14159    7");
}

}  // namespace
}  // namespace Vantrel
