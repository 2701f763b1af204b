// The text record, byte for byte (cases/text_records.txt), the time
// column of every record and the format-state reset.
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
  EXPECT_EQ(logfile_support::run_case_file("text_records.txt", record_text), 27);
}

// Records of one second share their date and time text; each still shows
// exactly the print of its own time, in order, out of order, across seconds,
// before the epoch and beyond the ordinary range.
TEST(TextRecord, TimeOfEveryRecordIsItsOwn) {
  const SimpleTime::Duration ms = SimpleTime::Millisecond;
  const SimpleTime::PhysicalTime base = RecordCase().time, epoch;
  for (const SimpleTime::PhysicalTime& time :
       {base, base + 1 * ms, base + 954 * ms, base + 955 * ms, base - 1045 * ms, base - 1046 * ms,
        base, base + 3.6e6 * ms, base + 1e14 * ms, epoch, epoch - 1 * ms, epoch - 1000 * ms,
        epoch - 1001.5 * ms, base + 0.5 * ms}) {
    RecordCase c;
    c.time = time;
    const std::string text = record_text(c, "");
    std::ostringstream printed;
    SimpleTime::UtcTime(time).print(printed, SimpleTime::UtcTime::Separator{'/', ' ', ':', '.'});
    EXPECT_EQ(text.substr(0, text.find('|')), printed.str());
  }
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
