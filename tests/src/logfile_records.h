// Records written as the logger writes them, into a log file or from the
// blocks of a case file under cases/ (its head tells how to read it): keys
// set the next record's inputs, "> TEXT" writes a record and the "= " lines
// after it are what it wrote.
#ifndef VANTREL_TESTS_LOGFILE_RECORDS_H
#define VANTREL_TESTS_LOGFILE_RECORDS_H

#include <gtest/gtest.h>

#include <exception>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>

#include "DeferredUnlink.h"
#include "LogFile.h"
#include "src/logfile_support.h"

namespace logfile_support {

// A destination's names, as the log files read them.
struct Names : Vantrel::DeviceInfo {
  explicit Names(std::string dir, std::string name = "db", std::string ext = "log")
      : dir(std::move(dir)), base(std::move(name)), ext(std::move(ext)) {}
  std::string name() const override { return base; }
  std::string logext() const override { return ext; }
  std::string logdir() const override { return dir; }
  std::string configfile() const override { return "unused.ini"; }
  std::string dir, base, ext;
};

// The inputs of the next record. Settings (active unless "inactive") and
// context carry over from record to record; `unwinding` and `lost` hold for
// the next record only.
struct RecordCase {
  RecordCase() { config.active = true; }
  std::int32_t level = 2, severity = 0;
  std::string source;
  std::uint32_t line = 0;
  Vantrel::Config config;
  int tag = 0;
  unsigned rank = 7;
  long pid = 4242;
  unsigned long tid = 3520;
  bool unwinding = false, lost = false, context = false;
  Vantrel::Context::Data data;
  SimpleTime::PhysicalTime time = SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  double at_ms = 0;  // the time as read from a case file

  Vantrel::Importance importance() const {
    return Vantrel::Importance(level, severity, source.empty() ? nullptr : source.c_str(), line);
  }
  Vantrel::RecordInputs inputs(const Vantrel::Importance& importance) {
    return Vantrel::RecordInputs{&importance, tag, &config, context ? &data : nullptr};
  }
};

// Fields joined with '/'; "-" for none.
inline Vantrel::Context::SubFields fields(std::istream& in) {
  std::string word, part;
  in >> word;
  Vantrel::Context::SubFields result;
  for (std::istringstream parts(word); word != "-" && std::getline(parts, part, '/');)
    result.add(part);
  return result;
}

inline Vantrel::Context::StepFields step(std::istream& in) {
  const Vantrel::Context::SubFields names = fields(in);
  return Vantrel::Context::StepFields(names, fields(in));
}

// Applies one "key values" line of a case file.
inline void set(RecordCase& c, const std::string& key, std::istream& in) {
  Vantrel::Config& s = c.config;
  Vantrel::Context::Data& d = c.data;
  if (key == "importance") in >> c.level >> c.severity;
  if (key == "source") in >> c.source >> c.line;
  if (key == "tag") in >> c.tag;
  if (key == "rank") in >> c.rank;
  if (key == "pid") in >> c.pid;
  if (key == "tid") in >> c.tid;
  if (key == "clock") in >> TestClock::now_ms;
  if (key == "inactive") s.active = false;
  if (key == "at" && in >> c.at_ms)
    c.time = SimpleTime::PhysicalTime() + c.at_ms * SimpleTime::Millisecond;
  if (key == "mask") in >> std::hex >> s.display_mask;
  if (key == "widths")
    in >> s.major_steps_display_width >> s.minor_steps_display_width >>
        s.workflow_names_display_width >> s.workflow_ids_display_width >> s.actors_display_width;
  if (key == "consultant") s.set_consultant(fields(in).text());
  if (key == "ticks") in >> d.major_tick >> d.major_depth >> d.minor_tick >> d.minor_depth;
  if (key == "root") d.root = step(in);
  if (key == "caller") d.caller = step(in);
  if (key == "callee") d.callee = step(in);
  if (key == "user") d.user = fields(in);
  if (key == "architect") d.architect = fields(in);
  if (key == "developer") d.developer = fields(in);
  if (key == "consultants") d.consultant = fields(in);
  c.unwinding |= key == "unwinding";
  c.lost |= key == "lost";
  c.context |= std::string(" ticks root caller callee user architect developer consultants ")
                   .find(" " + key + " ") != std::string::npos;
}

// Writes a record of `text` with a block's inputs (`first`: the block's first
// record) and returns what it wrote.
using CaseWriter = std::function<std::string(RecordCase&, const std::string& text, bool first)>;

// Runs every case of cases/`name`; returns the number of records.
inline int run_case_file(const std::string& name, const CaseWriter& write) {
  std::ifstream in(std::string(VANTREL_SOURCE_DIR) + "/tests/src/cases/" + name);
  EXPECT_TRUE(in.is_open()) << name;
  auto c = std::make_unique<RecordCase>();
  std::string written, expected;
  int number = 0, record_line = 0, records = 0;
  bool first = true;
  for (std::string line; std::getline(in, line) || record_line;) {
    ++number;
    if (in && line.rfind("= ", 0) == 0) {
      expected += line.substr(2) + "\n";
      continue;
    }
    EXPECT_EQ(record_line ? written : "", expected) << name << ":" << record_line;
    record_line = 0;
    expected.clear();
    std::istringstream words(line);
    std::string key;
    words >> key;
    if (!in) break;
    if (line.empty()) {
      c = std::make_unique<RecordCase>();
      first = true;
    } else if (key == ">") {
      written = write(*c, line.substr(std::min<std::size_t>(2, line.size())), first);
      c->unwinding = c->lost = first = false;
      record_line = number;
      ++records;
    } else if (key[0] != '#') {
      set(*c, key, words);
      EXPECT_FALSE(words.fail()) << name << ":" << number << ": " << line;
    }
  }
  return records;
}

// Writes one record into `file` as the logger does: while an exception
// unwinds when `c.unwinding`; with `advance` the clock moves on during it, so
// that a full file is replaced at once (no keep-long).
inline void write_record(Vantrel::LogFile& file, RecordCase& c, unsigned rank,
                         const std::string& text, bool advance = true) {
  struct WritesWhileUnwinding {
    std::function<void()> write;
    ~WritesWhileUnwinding() { write(); }
  };
  if (c.unwinding && std::uncaught_exceptions() == 0) {
    try {
      WritesWhileUnwinding writer{[&] { write_record(file, c, rank, text, advance); }};
      throw 1;
    } catch (int) {
    }
    return;
  }
  const Vantrel::Importance importance = c.importance();
  const Vantrel::RecordInputs inputs = c.inputs(importance);
  std::ostream* out = file.begin_record(inputs, rank);
  ASSERT_NE(out, nullptr);
  *out << text;
  if (advance) TestClock::advance(1);
  file.nested_lost(c.lost);
  file.end_record(inputs, rank);
  Vantrel::LogFileSteps::unlink_kept();  // what the logger does after the lock
}

}  // namespace logfile_support

#endif  // VANTREL_TESTS_LOGFILE_RECORDS_H
