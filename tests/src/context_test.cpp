// The per-thread context record, devices bound to a thread and traced scopes.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdlib>
#include <iomanip>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ContextInternal.h"
#include "Library.h"
#include "ThreadId.h"
#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using context_support::field_of;
using context_support::log_lines;
using context_support::messages;
using context_support::TempDir;

namespace {

// Settings that let every message through, with the given columns.
Config active_config(unsigned mask = 0) {
  Config config;
  config.active = true;
  config.importance = Importance(0, 0);
  config.display_mask = mask;
  return config;
}

// A device writing text logs into `dir`, with no configuration file.
struct TestDevice : Device {
  TestDevice(const std::string& name, const TempDir& dir)
      : Device(name, "log", dir.path(), dir.path() + "/absent.ini") {}
};

// ---------------------------------------------------------------------------
// SubFields and StepFields
// ---------------------------------------------------------------------------

struct FieldsCase {
  std::vector<std::string> fields;
  std::string text;
};

void PrintTo(const FieldsCase& c, std::ostream* out) {
  *out << '[';
  for (std::size_t i = 0; i < c.fields.size(); ++i) *out << (i ? "," : "") << c.fields[i];
  *out << ']';
}

class SubFieldsText : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(SubFieldsText, JoinsFieldsWithSlash) {
  SubFields built;
  for (const std::string& field : GetParam().fields) built.add(field);
  EXPECT_EQ(built.text(), GetParam().text);
  EXPECT_EQ(built.elements().size(), GetParam().fields.size() + 1);
  EXPECT_EQ(built.elements().front(), "");
  EXPECT_EQ(built.has_fields(), !GetParam().fields.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, SubFieldsText,
                         ::testing::Values(FieldsCase{{}, ""}, FieldsCase{{"a"}, "a"},
                                           FieldsCase{{"a", "b"}, "a/b"},
                                           FieldsCase{{"a", "b", "c"}, "a/b/c"},
                                           FieldsCase{{"", "x"}, "/x"}, FieldsCase{{"a", ""}, "a/"},
                                           FieldsCase{{""}, ""}));

TEST(SubFields, BraceListEqualsAddedFieldsAndCopiesKeepText) {
  SubFields listed{"a", "b"};
  SubFields added;
  added.add("a").add("b");
  EXPECT_EQ(listed.text(), "a/b");
  EXPECT_EQ(listed.elements(), added.elements());

  SubFields copy(listed);
  copy.add("c");
  EXPECT_EQ(copy.text(), "a/b/c");
  EXPECT_EQ(listed.text(), "a/b");  // the original is not touched
  copy = listed;
  EXPECT_EQ(copy.text(), "a/b");
  EXPECT_EQ(copy.elements().size(), 3u);
}

TEST(StepFields, TextIsNamesHashIds) {
  EXPECT_EQ(StepFields(SubFields{"a"}, SubFields{"1"}).text(), "a#1");
  EXPECT_EQ(StepFields(SubFields{"a", "b"}, SubFields{"1", "2"}).text(), "a/b#1/2");
  EXPECT_EQ(StepFields().text(), "#");
  EXPECT_TRUE(StepFields().empty());
  EXPECT_FALSE(StepFields(SubFields{}, SubFields{"1"}).empty());
  EXPECT_FALSE(StepFields(SubFields{""}, SubFields{}).empty());  // an empty field is a field
}

// ---------------------------------------------------------------------------
// The record and WithContext
// ---------------------------------------------------------------------------

TEST(Record, ThreadHasNoneUntilInstalledAndWritesToTheDefault) {
  EXPECT_EQ(get_data(), nullptr);
  ASSERT_NE(default_logos(), nullptr);
  EXPECT_EQ(get_logos(nullptr), default_logos());
}

TEST(Record, NewRecordStartsEmptyOnTheDefaultDestination) {
  WithContext context;
  ASSERT_TRUE(context.is_owner);
  ASSERT_EQ(context.data, get_data());
  const Data& data = *context.data;
  EXPECT_EQ(data.major_tick + data.major_depth + data.minor_tick + data.minor_depth, 0u);
  for (const StepFields* step : {&data.root, &data.caller, &data.callee}) {
    EXPECT_TRUE(step->empty());
  }
  for (const SubFields* actor : {&data.user, &data.architect, &data.developer, &data.consultant}) {
    EXPECT_FALSE(actor->has_fields());
  }
  EXPECT_EQ(data.logos(), default_logos());
  EXPECT_TRUE(data.calls.empty());
  EXPECT_GE(data.calls.capacity(), 2u);
  EXPECT_EQ(data.incoming_calls + data.outgoing_calls, 0);
  EXPECT_FALSE(data.installed_by_call);
}

TEST(Record, OnlyTheInstallingObjectRemovesIt) {
  {
    WithContext outer;
    {
      WithContext inner;
      EXPECT_FALSE(inner.is_owner);
      EXPECT_EQ(inner.data, outer.data);
    }
    EXPECT_EQ(get_data(), outer.data);
  }
  EXPECT_EQ(get_data(), nullptr);
}

TEST(Record, SetLogosNullMeansTheDefault) {
  TempDir dir;
  TestDevice device("ctx", dir);
  WithContext context;
  context.data->set_logos(device.logos());
  EXPECT_EQ(get_logos(context.data), device.logos());
  context.data->set_logos(nullptr);
  EXPECT_EQ(context.data->logos(), default_logos());
}

// ---------------------------------------------------------------------------
// WithDevice
// ---------------------------------------------------------------------------

TEST(WithDevice, NestedDevicesBindInnermostAndRestoreInOrder) {
  TempDir dir;
  TestDevice d1("ctxone", dir);
  TestDevice d2("ctxtwo", dir);
  {
    WithDevice outer(d1);
    EXPECT_TRUE(outer.is_owner);
    {
      WithDevice inner(&d2);
      EXPECT_EQ(inner.previous, d1.logos());
      EXPECT_EQ(get_logos(get_data()), d2.logos());
    }
    EXPECT_EQ(get_logos(get_data()), d1.logos());
  }
  EXPECT_EQ(get_data(), nullptr);
  EXPECT_EQ(get_logos(get_data()), default_logos());
}

TEST(WithDevice, NullDeviceKeepsTheCurrentBinding) {
  TempDir dir;
  TestDevice d1("ctxone", dir);
  WithDevice outer(&d1);
  {
    WithDevice none(static_cast<const Device*>(nullptr));
    EXPECT_EQ(get_logos(get_data()), d1.logos());
    WithDevice defaulted;
    EXPECT_EQ(get_logos(get_data()), d1.logos());
  }
  EXPECT_EQ(get_logos(get_data()), d1.logos());
}

TEST(WithDevice, DeviceWithoutDestinationBindsTheDefault) {
  TempDir dir;
  TestDevice d1("ctxone", dir);
  Device plain;
  EXPECT_EQ(plain.logos(), nullptr);
  WithDevice outer(d1);
  {
    WithDevice inner(plain);
    EXPECT_EQ(get_logos(get_data()), default_logos());
  }
  EXPECT_EQ(get_logos(get_data()), d1.logos());
}

// The records go to D2's log, then D1's, then the default log. Run in a child
// process so that the default destination writes into a directory of ours.
TEST(WithDevice, NestedDevicesWriteToTheirOwnLogs) {
  TempDir dir;
  const std::string command =
      "QZ_TRACE_LOGDIR='" + dir.path() + "' QZ_TRACE_NAME=ctxdefault QZ_TRACE_CONFIGDIR='" +
      dir.path() + "' " VANTREL_TEST_HOSTS_DIR "/host_context_devices '" + dir.path() + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(messages(dir.path(), "ctxtwo"), std::vector<std::string>{"inner"});
  EXPECT_EQ(messages(dir.path(), "ctxone"), std::vector<std::string>{"middle"});
  EXPECT_EQ(messages(dir.path(), "ctxdefault"), std::vector<std::string>{"outer"});
}

// ---------------------------------------------------------------------------
// Traced scopes
// ---------------------------------------------------------------------------

class TracedScope : public ::testing::Test {
 protected:
  TracedScope() : device("ctx", dir), binding(device) {}

  std::vector<std::string> lines() const { return log_lines(dir.path(), "ctx"); }

  TempDir dir;
  TestDevice device;
  WithDevice binding;
};

TEST_F(TracedScope, FilteredOpeningMeansNoClosingEvenIfActivatedMeanwhile) {
  {
    StepTrace step(M, StepFields(SubFields{"quiet"}, SubFields{"1"}));
    Admin::config(active_config());
  }
  EXPECT_TRUE(lines().empty());
  EXPECT_EQ(get_data()->minor_tick, 0u);
}

TEST_F(TracedScope, WrittenOpeningIsAlwaysClosedWithElapsedTime) {
  Admin::config(active_config());
  {
    ActorTrace actor(M, SubFields{"ann", "lee"});
    Admin::active(false);
  }
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(field_of(records[0], 6), "{");
  EXPECT_EQ(context_support::message_of(records[0]), "ann/lee");
  EXPECT_EQ(field_of(records[1], 6), "}");
  EXPECT_TRUE(
      std::regex_match(context_support::message_of(records[1]), std::regex("ann/lee: [0-9:.e+-]+")))
      << records[1];
}

TEST_F(TracedScope, OpenAndCloseAdvanceMinorCounters) {
  Admin::config(active_config());
  Data& data = *get_data();
  {
    CallTrace outer(M, "outer");
    EXPECT_EQ(data.minor_tick, 1u);
    EXPECT_EQ(data.minor_depth, 1u);
    Printf{Vantrel::M}("plain");  // a plain record leaves them alone
    CallTrace inner(M, "inner");
    EXPECT_EQ(data.minor_tick, 2u);
    EXPECT_EQ(data.minor_depth, 2u);
  }
  EXPECT_EQ(data.minor_tick, 4u);
  EXPECT_EQ(data.minor_depth, 0u);
}

TEST_F(TracedScope, ReplacedLabelIsUsedForTheClosingMessage) {
  Admin::config(active_config());
  {
    CallTrace call(M, "before");
    call.replace(L, "after");
  }
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(context_support::message_of(records[0]), "before");
  EXPECT_EQ(field_of(records[1], 1), ">=");
  EXPECT_EQ(context_support::message_of(records[1]).rfind("after: ", 0), 0u);
}

TEST_F(TracedScope, ScopeLeftByExceptionMarksItsClosingRecord) {
  Admin::config(active_config());
  try {
    StepTrace step(M, StepFields(SubFields{"risky"}, SubFields{"9"}));
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(field_of(records[0], 3), " ");
  EXPECT_EQ(field_of(records[1], 3), "X");
  EXPECT_EQ(context_support::message_of(records[1]).rfind("risky#9: ", 0), 0u);
}

// An opening Warning record "start" with minor tick 4 and minor depth 1
// before it, caller "order/check" and user "ann", reached only through the
// scopes; shown with the mask 0x44a02 and widths 3, 8 and 5.
TEST(TextRecord, ContextColumnsOfAScopeBuiltContext) {
  TempDir dir;
  TestDevice device("ctx", dir);
  WorkflowScopeBase root(
      Root(StepFields(SubFields{"order", "check"}, SubFields{"1"}), SubFields{"ann"}, &device));
  Config config = active_config(0x44a02);
  config.minor_steps_display_width = 3;
  config.workflow_names_display_width = 8;
  config.actors_display_width = 5;
  Admin::config(config);

  WorkflowScopeBase pack(Step(StepFields(SubFields{"pack"}, SubFields{"2"})));
  Data& data = *get_data();
  ActorTrace outer(M, SubFields{"x"});  // minor 1/1
  {
    // Leaving a nested step restores the minor depth with a zero tick.
    WorkflowScopeBase label(Step(StepFields(SubFields{"label"}, SubFields{"3"})));
  }
  { CallTrace a(M, "a"); }  // 2/1 after it
  { CallTrace b(M, "b"); }  // 4/1 after it
  ASSERT_EQ(data.minor_tick, 4u);
  ASSERT_EQ(data.minor_depth, 1u);
  ASSERT_EQ(data.caller.names.text(), "order/check");
  { CallTrace start(Warning, "start"); }

  const std::vector<std::string> records = log_lines(dir.path(), "ctx");
  ASSERT_EQ(records.size(), 7u);
  const std::string& line = records[5];
  std::ostringstream tail;
  tail << "|>=|W| |" << std::setw(5) << getpid() << '|' << std::setw(4)
       << Native::current_thread_id() << "|{||  5||  2|||order/check||||  ann||||start";
  std::smatch head;
  ASSERT_TRUE(std::regex_match(line, head,
                               std::regex("\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}"
                                          "(\\d{3})(.*)")))
      << line;
  EXPECT_EQ(head[1], "006");  // the sixth record
  EXPECT_EQ(head[2], tail.str());
}

}  // namespace
