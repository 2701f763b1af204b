// The text record, byte for byte: the head, the fourteen columns, the source
// line, the nested-trace line, the exception mark and the format-state reset.
// (The live ids and unwinding through a real file: logfile_host_test.)
#include "LogFileLog.h"

#include <gtest/gtest.h>

#include <iomanip>
#include <sstream>
#include <string>

namespace Vantrel {
namespace {

const char* const time_text = "2007/10/18 21:21:07.045";

struct RecordCase {
  Importance importance{2, 0};
  Config config;
  int tag = 0;
  unsigned rank = 7;
  long pid = 4242;
  unsigned long tid = 3520;
  bool unwinding = false;
  Context::Data* data = nullptr;
};

// Head + text + end of one record written at 2007-10-18 21:21:07.045 UTC.
std::string record_text(const RecordCase& c, const std::string& text, bool nested_lost = false) {
  TextRecordHead head;
  head.time = SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  head.rank = c.rank;
  head.pid = c.pid;
  head.tid = c.tid;
  head.unwinding = c.unwinding;
  head.inputs = RecordInputs{&c.importance, c.tag, &c.config, c.data};
  std::ostringstream out;
  write_text_record_head(out, head);
  out << text;
  write_text_record_end(out, nested_lost);
  return out.str();
}

TEST(TextRecord, WorkedExamplePlainMessageAndLostNestedTrace) {
  RecordCase c;
  const std::string line = std::string(time_text) + "|==| | | 4242|3520| |||||||||||||||hello\n";
  EXPECT_EQ(record_text(c, "hello"), line);
  EXPECT_EQ(record_text(c, "hello", true),
            line + "### Vantrel: Incorrect usage: NestedTrace Lost ###\n");
}

TEST(TextRecord, WorkedExampleOpeningMessageWithContext) {
  Context::Data data;
  data.minor_tick = 4;
  data.minor_depth = 1;
  data.caller.names = Context::SubFields{"order", "check"};
  data.user = Context::SubFields{"ann"};
  RecordCase c;
  c.importance = Importance(3, 1);  // Warning
  c.config.display_mask = 0x44a02;
  c.config.minor_steps_display_width = 3;
  c.config.workflow_names_display_width = 8;
  c.config.actors_display_width = 5;
  c.tag = 1;
  c.rank = 1234;
  c.data = &data;
  EXPECT_EQ(record_text(c, "start"),
            std::string(time_text) +
                "034|>=|W| | 4242|3520|{||  5||  2|||order/check||||  ann||||start\n");
  EXPECT_EQ(data.minor_tick, 5u);
  EXPECT_EQ(data.minor_depth, 2u);

  // The matching closing message shows the same depth, then leaves the step.
  c.tag = 2;
  c.rank = 1235;
  EXPECT_EQ(
      record_text(c, "end"),
      std::string(time_text) + "035|>=|W| | 4242|3520|}||  5||  2|||order/check||||  ann||||end\n");
  EXPECT_EQ(data.minor_tick, 6u);
  EXPECT_EQ(data.minor_depth, 1u);
}

TEST(TextRecord, AllColumnsWithoutWidthsOrFields) {
  Context::Data data;
  data.major_tick = 0xffffffffu;  // shown as a signed number
  RecordCase c;
  c.config.display_mask = all_mask;
  c.config.set_consultant("kim");
  c.data = &data;
  EXPECT_EQ(record_text(c, "x"),
            std::string(time_text) + "007|==| | | 4242|3520| |-1|0|0|0||||||||||kim|x\n");
}

TEST(TextRecord, WorkflowColumnsInOrder) {
  Context::Data data;
  data.major_tick = 3;
  data.major_depth = 2;
  data.root = Context::StepFields({"r"}, {"1"});
  data.caller = Context::StepFields({"a", "b"}, {"2"});
  data.callee = Context::StepFields({"c"}, {"3", "4"});
  data.architect = Context::SubFields{"arc"};
  data.developer = Context::SubFields{"dev"};
  RecordCase c;
  c.config.display_mask = workflow_mask | actors_mask;
  c.config.major_steps_display_width = 2;
  c.config.workflow_ids_display_width = 4;
  c.data = &data;
  EXPECT_EQ(record_text(c, "x"),
            std::string(time_text) +
                "|==| | | 4242|3520| | 3|0| 2|0|r|   1|a/b|   2|c| 3/4||arc|dev||x\n");
}

TEST(TextRecord, LongContentIsNeverCut) {
  Context::Data data;
  data.caller.names = Context::SubFields{"a-rather-long-caller-name"};
  RecordCase c;
  c.config.display_mask = caller_name_mask;
  c.config.workflow_names_display_width = 4;
  c.pid = 1234567;
  c.tid = 98765;
  c.data = &data;
  EXPECT_EQ(record_text(c, "x"),
            std::string(time_text) +
                "|==| | |1234567|98765| |||||||a-rather-long-caller-name||||||||x\n");
}

TEST(TextRecord, ConsultantWidthIsAtMost63) {
  Context::Data data;
  data.user = Context::SubFields{"u"};
  RecordCase c;
  c.config.display_mask = user_mask | consultant_mask;
  c.config.set_consultant("kim");
  c.data = &data;
  struct Width {
    std::uint16_t setting;
    std::size_t user_width;
    std::size_t consultant_width;
  };
  for (const Width& w : {Width{100, 100, 63}, Width{0xffff, 1, 63}, Width{10, 10, 10}}) {
    c.config.actors_display_width = w.setting;
    const std::string expected = std::string(time_text) + "|==| | | 4242|3520| |||||||||||" +
                                 std::string(w.user_width - 1, ' ') + "u|||" +
                                 std::string(w.consultant_width - 3, ' ') + "kim|x\n";
    EXPECT_EQ(record_text(c, "x"), expected) << "width " << w.setting;
  }
}

TEST(TextRecord, WithoutContextColumnsAreBlanksOfTheirWidths) {
  RecordCase c;
  c.config.display_mask = steps_mask | root_name_mask | user_mask;
  c.config.major_steps_display_width = 2;
  c.config.minor_steps_display_width = 1;
  c.config.workflow_names_display_width = 3;
  c.config.actors_display_width = 4;
  c.tag = 1;
  EXPECT_EQ(record_text(c, "x"),
            std::string(time_text) + "|==| | | 4242|3520|{|  | |  | |   ||||||    ||||x\n");
}

TEST(TextRecord, HeadFieldsTable) {
  struct Case {
    Importance importance;
    int tag;
    bool unwinding;
    const char* fields;
  };
  const Case cases[] = {
      {{0, 0}, 0, false, "|<<| | "}, {{1, 0}, 1, false, "|<=| | "}, {{3, 1}, 2, false, "|>=|W| "},
      {{4, 2}, 5, true, "|>>|E|X"},  {{4, 3}, 0, true, "|>>|A|X"},  {{7, 9}, 0, false, "|??|?| "},
  };
  const char marks[] = {' ', '{', '}', ' ', ' ', ' '};
  for (const Case& k : cases) {
    RecordCase c;
    c.importance = k.importance;
    c.tag = k.tag;
    c.unwinding = k.unwinding;
    EXPECT_EQ(record_text(c, ""), std::string(time_text) + k.fields + "| 4242|3520|" +
                                      marks[k.tag] + "|||||||||||||||\n");
  }
}

TEST(TextRecord, RankShowsLastTwoDigitsAsThree) {
  struct Case {
    unsigned rank;
    const char* shown;
  };
  for (const Case& k : {Case{7, "007"}, Case{1234, "034"}, Case{100, "000"}, Case{99, "099"},
                        Case{4294967295u, "095"}}) {
    RecordCase c;
    c.config.display_mask = rank_mask;
    c.rank = k.rank;
    EXPECT_EQ(record_text(c, "").substr(0, 27), std::string(time_text) + k.shown + "|");
  }
}

// The time column of a record written at `time`, and the print of `time`.
std::string time_column(SimpleTime::PhysicalTime time) {
  const Importance importance{2, 0};
  const Config config;
  TextRecordHead head;
  head.time = time;
  head.inputs = RecordInputs{&importance, 0, &config, nullptr};
  std::ostringstream out;
  write_text_record_head(out, head);
  return out.str().substr(0, out.str().find('|'));
}

std::string printed(SimpleTime::PhysicalTime time) {
  std::ostringstream out;
  SimpleTime::UtcTime(time).print(out, SimpleTime::UtcTime::Separator{'/', ' ', ':', '.'});
  return out.str();
}

// Records of one second share their date and time text; each still shows
// exactly the print of its own time, in order, out of order, across seconds,
// before the epoch and beyond the ordinary range.
TEST(TextRecord, TimeOfEveryRecordIsItsOwn) {
  const SimpleTime::PhysicalTime base =
      SimpleTime::UtcTime(2007, 10, 18, 21, 21, 7, 45).physicalTime();
  const SimpleTime::PhysicalTime epoch;
  const SimpleTime::PhysicalTime times[] = {base,
                                            base + 1 * SimpleTime::Millisecond,
                                            base + 954 * SimpleTime::Millisecond,
                                            base + 955 * SimpleTime::Millisecond,
                                            base - 1045 * SimpleTime::Millisecond,
                                            base - 1046 * SimpleTime::Millisecond,
                                            base,
                                            base + 3.6e6 * SimpleTime::Millisecond,
                                            base + 1e14 * SimpleTime::Millisecond,
                                            epoch,
                                            epoch - 1 * SimpleTime::Millisecond,
                                            epoch - 1000 * SimpleTime::Millisecond,
                                            epoch - 1001.5 * SimpleTime::Millisecond,
                                            base + 0.5 * SimpleTime::Millisecond};
  for (const SimpleTime::PhysicalTime& time : times) {
    EXPECT_EQ(time_column(time), printed(time)) << printed(time);
  }
}

TEST(TextRecord, SourceLineTable) {
  struct Case {
    const char* file;
    unsigned mask;
    bool shown;
  };
  const Case cases[] = {{"main.cpp", src_file_mask, true},
                        {"main.cpp", src_line_mask, true},
                        {"main.cpp", 0, false},
                        {nullptr, debug_mask, false}};
  for (const Case& k : cases) {
    RecordCase c;
    c.importance = Importance(2, 0, k.file, 42);
    c.config.display_mask = k.mask;
    c.rank = 1234;
    const std::string text = record_text(c, "x");
    EXPECT_EQ(text.rfind("main.cpp:42: this is Vantrel message 1234\n", 0) == 0, k.shown) << text;
  }
}

TEST(TextRecord, FormatStateIsResetAtEveryRecord) {
  TextRecordHead head;
  RecordCase c;
  head.inputs = RecordInputs{&c.importance, 0, &c.config, nullptr};
  std::ostringstream out;
  out << std::hex << std::showbase << std::left << std::setprecision(2) << std::setfill('*')
      << std::setw(20);
  write_text_record_head(out, head);
  out << 255 << ' ' << 3.14159265 << ' ' << std::setw(4) << 7;
  const std::string text = out.str();
  EXPECT_EQ(text.substr(text.rfind('|') + 1), "255 3.14159    7");
}

}  // namespace
}  // namespace Vantrel
