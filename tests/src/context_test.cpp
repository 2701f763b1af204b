// The per-thread context record, devices bound to a thread and traced scopes.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdlib>
#include <iomanip>
#include <regex>
#include <sstream>

#include "ContextInternal.h"
#include "Library.h"
#include "hosts/context_support.h"
#include "zeltools/native/ThreadId.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace context_support;

namespace {

StepFields step_fields(const std::string& name, const std::string& id) {
  return StepFields(SubFields{name}, SubFields{id});
}

// Lets every message through, showing the given columns.
Config active_config(unsigned mask = 0) {
  Config config;
  config.active = true;
  config.importance = Importance(0, 0);
  config.display_mask = mask;
  return config;
}

TEST(SubFields, TextJoinsFieldsWithSlashAndStepsWithHash) {
  const struct {
    SubFields fields;
    std::string text;
    std::size_t elements;
  } cases[] = {{{}, "", 1},          {{"a"}, "a", 2},      {{"a", "b", "c"}, "a/b/c", 4},
               {{"", "x"}, "/x", 3}, {{"a", ""}, "a/", 3}, {{""}, "", 2}};
  for (const auto& c : cases) {
    EXPECT_EQ(c.fields.text(), c.text);
    EXPECT_EQ(c.fields.elements().size(), c.elements);
    EXPECT_EQ(c.fields.elements().front(), "");
  }
  EXPECT_EQ(SubFields{"a"}.add("d").add("e").text(), "a/d/e");
  EXPECT_EQ(StepFields(SubFields{"a", "b"}, SubFields{"1", "2"}).text(), "a/b#1/2");
  EXPECT_EQ(StepFields().text(), "#");
  EXPECT_TRUE(StepFields().empty());
  EXPECT_FALSE(StepFields(SubFields{}, SubFields{""}).empty());  // an empty field is a field
}

TEST(Record, InstalledByTheFirstWithContextAndRemovedByIt) {
  EXPECT_EQ(get_data(), nullptr);
  EXPECT_EQ(get_logos(nullptr), default_logos());
  {
    WithContext outer;
    ASSERT_TRUE(outer.is_owner);
    const Data& data = *outer.data;
    EXPECT_EQ(data.major_tick + data.major_depth + data.minor_tick + data.minor_depth, 0u);
    EXPECT_TRUE(data.root.empty() && data.caller.empty() && data.callee.empty());
    EXPECT_EQ(data.logos(), default_logos());
    EXPECT_GE(data.calls.capacity(), 2u);
    {
      WithContext inner;
      EXPECT_FALSE(inner.is_owner);
      EXPECT_EQ(inner.data, outer.data);
    }
    EXPECT_EQ(get_data(), outer.data);
    outer.data->set_logos(nullptr);
    EXPECT_EQ(outer.data->logos(), default_logos());
  }
  EXPECT_EQ(get_data(), nullptr);
}

TEST(WithDevice, NullOrDestinationlessDeviceBindings) {
  TempDir dir;
  Device d1("ctxone", "log", dir.path, "");
  Device plain;
  WithDevice outer(&d1);
  {
    WithDevice none(static_cast<const Device*>(nullptr));  // keeps the binding
    EXPECT_EQ(get_logos(get_data()), d1.logos());
    WithDevice by_reference(plain);  // binds the default destination
    EXPECT_EQ(get_logos(get_data()), default_logos());
  }
  EXPECT_EQ(get_logos(get_data()), d1.logos());
}

// Run in a child process so that the default destination writes into a
// directory of ours: "inner" inside D2's binding, "middle" after it inside
// D1's, "outer" after both.
TEST(WithDevice, NestedDevicesWriteToTheirOwnLogs) {
  TempDir dir;
  const std::string env = "QZ_TRACE_LOGDIR='" + dir.path + "' QZ_TRACE_NAME=ctxdefault ";
  const std::string host = VANTREL_TEST_HOSTS_DIR "/host_context_devices '" + dir.path + "'";
  ASSERT_EQ(std::system((env + host).c_str()), 0);
  EXPECT_EQ(messages(dir.path, "ctxtwo"), std::vector<std::string>{"inner"});
  EXPECT_EQ(messages(dir.path, "ctxone"), std::vector<std::string>{"middle"});
  EXPECT_EQ(messages(dir.path, "ctxdefault"), std::vector<std::string>{"outer"});
}

class TracedScope : public ::testing::Test {
 protected:
  TracedScope() : device("ctx", "log", dir.path, ""), binding(device) {}
  std::vector<std::string> lines() const { return log_lines(dir.path, "ctx"); }

  TempDir dir;
  Device device;
  WithDevice binding;
};

TEST_F(TracedScope, FilteredOpeningMeansNoClosingEvenIfActivatedMeanwhile) {
  {
    StepTrace step(M, step_fields("quiet", "1"));
    Admin::config(active_config());
  }
  EXPECT_TRUE(lines().empty());
}

TEST_F(TracedScope, WrittenOpeningIsAlwaysClosedWithElapsedTime) {
  Admin::config(active_config());
  {
    ActorTrace actor(M, SubFields{"ann", "lee"});
    Admin::active(false);
  }
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(field_of(records[0], 6) + message_of(records[0]), "{ann/lee");
  EXPECT_EQ(field_of(records[1], 6), "}");
  EXPECT_TRUE(std::regex_match(message_of(records[1]), std::regex("ann/lee: [0-9:.e+-]+")));
}

// An opening Warning record "start" with minor tick 4 and depth 1 before it,
// caller "order/check" and user "ann", reached only through the scopes and
// shown with the mask 0x44a02 and widths 3, 8 and 5.
TEST(TextRecord, ContextColumnsOfAScopeBuiltContext) {
  TempDir dir;
  Device device("ctx", "log", dir.path, "");
  WorkflowScopeBase root(
      Root(StepFields(SubFields{"order", "check"}, SubFields{"1"}), SubFields{"ann"}, &device));
  Config config = active_config(0x44a02);
  config.minor_steps_display_width = 3;
  config.workflow_names_display_width = 8;
  config.actors_display_width = 5;
  Admin::config(config);

  WorkflowScopeBase pack(Step(step_fields("pack", "2")));
  ActorTrace outer(M, SubFields{"x"});                           // minor 1/1
  { WorkflowScopeBase label(Step(step_fields("label", "3"))); }  // 0/1 on leaving
  { CallTrace a(M, "a"); }                                       // 2/1
  { CallTrace b(M, "b"); }                                       // 4/1
  ASSERT_EQ(get_data()->minor_tick, 4u);
  { CallTrace start(Warning, "start"); }

  const std::vector<std::string> records = log_lines(dir.path, "ctx");
  ASSERT_EQ(records.size(), 7u);
  std::ostringstream tail;
  tail << "|>=|W| |" << std::setw(5) << getpid() << '|' << std::setw(4)
       << ZelTools::Native::current_thread_id() << "|{||  5||  2|||order/check||||  ann||||start";
  std::smatch head;
  const std::regex time("\\d{4}/\\d\\d/\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3}(\\d{3})(.*)");
  ASSERT_TRUE(std::regex_match(records[5], head, time)) << records[5];
  EXPECT_EQ(head[1], "006");  // the sixth record
  EXPECT_EQ(head[2], tail.str());
}

}  // namespace
