// Workflow steps, actor scopes and the cross-call interface.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using context_support::field_of;
using context_support::log_lines;
using context_support::message_of;
using context_support::TempDir;
using Vantrel::Context::LowLevelAPI::Call;

namespace LL = Vantrel::Context::LowLevelAPI;

namespace {

StepFields step_fields(const std::string& name, const std::string& id) {
  return StepFields(SubFields{name}, SubFields{id});
}

// A device in a private directory whose settings let every message through.
// The thread is left without a record.
class Workflow : public ::testing::Test {
 protected:
  Workflow() : device("wf", dir.path(), "log", dir.path(), dir.path() + "/absent.ini") {}

  void SetUp() override {
    WithDevice binding(device);
    Config config;
    config.active = true;
    config.importance = Importance(0, 0);
    config.display_mask =
        root_name_mask | callee_name_mask | user_mask | architect_mask | developer_mask;
    Admin::config(config);
  }

  std::vector<std::string> lines() const { return log_lines(dir.path(), "wf"); }

  // "text" (opening) or "text: <elapsed>" (closing) with its level mark.
  static bool is_record(const std::string& line, const std::string& level, const std::string& tag,
                        const std::string& text) {
    const std::string message = message_of(line);
    const bool text_ok = tag == "{" ? message == text : message.rfind(text + ": ", 0) == 0;
    return field_of(line, 1) == level && field_of(line, 6) == tag && text_ok;
  }

  struct Dir {
    TempDir temp;
    const std::string& path() const { return temp.path(); }
  } dir;
  struct NamedDevice : Device {
    NamedDevice(const std::string& name, const std::string&, const std::string& ext,
                const std::string& logdir, const std::string& config)
        : Device(name, ext, logdir, config) {}
  } device;
};

// ---------------------------------------------------------------------------
// Workflow scopes
// ---------------------------------------------------------------------------

TEST_F(Workflow, RootOnBareThreadStartsWorkflowAndRemovesRecord) {
  {
    WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
    const Data* data = get_data();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->major_tick, 0u);
    EXPECT_EQ(data->major_depth, 0u);
    EXPECT_EQ(data->root.text(), "order#7");
    EXPECT_EQ(data->callee.text(), "order#7");
    EXPECT_TRUE(data->caller.empty());
    EXPECT_EQ(data->user.text(), "ann");
    EXPECT_EQ(data->logos(), device.logos());
  }
  EXPECT_EQ(get_data(), nullptr);
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(is_record(records[0], ">>", "{", "order#7")) << records[0];
  EXPECT_TRUE(is_record(records[1], ">>", "}", "order#7")) << records[1];
  EXPECT_EQ(field_of(records[0], 11), "order");  // the opening shows the new step
  EXPECT_EQ(field_of(records[1], 15), "order");  // the closing is still in it
}

TEST_F(Workflow, NestedStepMovesCallerAndCalleeAndComesBack) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  const Data& data = *get_data();
  {
    WorkflowScope step(Step(step_fields("pack", "8")));
    EXPECT_EQ(data.major_depth, 1u);
    EXPECT_EQ(data.major_tick, 1u);
    EXPECT_EQ(data.caller.text(), "order#7");
    EXPECT_EQ(data.callee.text(), "pack#8");
    EXPECT_EQ(data.root.text(), "order#7");
  }
  EXPECT_EQ(data.major_depth, 0u);
  EXPECT_EQ(data.major_tick, 2u);
  EXPECT_EQ(data.callee.text(), "order#7");
  EXPECT_TRUE(data.caller.empty());

  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_TRUE(is_record(records[1], ">=", "{", "pack#8")) << records[1];
  EXPECT_TRUE(is_record(records[2], ">=", "}", "pack#8")) << records[2];
  EXPECT_EQ(field_of(records[2], 15), "pack");
}

TEST_F(Workflow, NestedStepSavesAndRestoresMinorDepth) {
  WorkflowScopeBase root(Root(step_fields("order", "7"), SubFields{}, &device));
  Data& data = *get_data();
  StepTrace open(M, step_fields("t", "1"));
  ASSERT_EQ(data.minor_depth, 1u);
  {
    WorkflowScopeBase step(Step(step_fields("pack", "8")));
    EXPECT_EQ(data.minor_tick, 0u);
    EXPECT_EQ(data.minor_depth, 0u);
    StepTrace inner(M, step_fields("u", "2"));
  }
  EXPECT_EQ(data.minor_tick, 0u);
  EXPECT_EQ(data.minor_depth, 1u);
}

TEST_F(Workflow, RootInsideRunningWorkflowIsANestedStep) {
  WorkflowScope outer(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  const Data& data = *get_data();
  {
    WorkflowScope inner(Root(step_fields("refund", "9")));
    EXPECT_EQ(data.root.text(), "order#7");
    EXPECT_EQ(data.caller.text(), "order#7");
    EXPECT_EQ(data.callee.text(), "refund#9");
    EXPECT_EQ(data.major_depth, 1u);
    EXPECT_EQ(data.user.text(), "ann");  // an empty user leaves the user alone
    WorkflowScopeBase named(Root(step_fields("audit", "10"), SubFields{"bob"}));
    EXPECT_EQ(data.user.text(), "bob");
  }
  EXPECT_EQ(data.major_depth, 0u);
  EXPECT_EQ(data.callee.text(), "order#7");
}

TEST_F(Workflow, WorkflowStartedOnExistingRecordIsNotUndone) {
  WithContext context;
  context.data->user.add("kept");
  {
    WorkflowScopeBase first(Step(step_fields("batch", "1")));
    EXPECT_EQ(context.data->root.text(), "batch#1");
    EXPECT_EQ(context.data->user.text(), "kept");
  }
  EXPECT_EQ(context.data->root.text(), "batch#1");
  EXPECT_EQ(context.data->callee.text(), "batch#1");
  EXPECT_EQ(context.data->major_depth, 0u);
}

TEST_F(Workflow, StepOnDeviceBindsItForItsLifetime) {
  TempDir other_dir;
  Device other("wfother", "log", other_dir.path(), other_dir.path() + "/absent.ini");
  WorkflowScopeBase root(Root(step_fields("order", "7"), SubFields{}, &device));
  {
    WorkflowScopeBase step(Step(step_fields("ship", "2"), &other));
    EXPECT_EQ(get_data()->logos(), other.logos());
  }
  EXPECT_EQ(get_data()->logos(), device.logos());
}

// ---------------------------------------------------------------------------
// Actor scopes
// ---------------------------------------------------------------------------

TEST_F(Workflow, ActorScopesSetAndRestoreTheirActor) {
  WithDevice binding(device);
  Data& data = *get_data();
  data.architect.add("old");
  {
    ArchitectScope architect(SubFields{"ada", "team"});
    DeveloperScope developer(SubFields{"dev"});
    EXPECT_EQ(data.architect.text(), "ada/team");
    EXPECT_EQ(data.developer.text(), "dev");
    {
      ArchitectScopeBase quiet(SubFields{"inner"});
      EXPECT_EQ(data.architect.text(), "inner");
    }
    EXPECT_EQ(data.architect.text(), "ada/team");
  }
  EXPECT_EQ(data.architect.text(), "old");
  EXPECT_FALSE(data.developer.has_fields());

  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_TRUE(is_record(records[0], ">=", "{", "ada/team")) << records[0];
  EXPECT_EQ(field_of(records[0], 18), "ada/team");
  EXPECT_TRUE(is_record(records[1], "==", "{", "dev")) << records[1];
  EXPECT_TRUE(is_record(records[2], "==", "}", "dev")) << records[2];
  EXPECT_TRUE(is_record(records[3], ">=", "}", "ada/team")) << records[3];
}

// Without a record the actor scopes change nothing but still write their
// messages (to the default destination, so in a child process).
TEST(ActorScope, WithoutRecordWritesMessagesAndChangesNothing) {
  TempDir dir;
  const std::string command = "QZ_TRACE_LOGDIR='" + dir.path() +
                              "' QZ_TRACE_NAME=ctxactors QZ_TRACE_CONFIGDIR='" + dir.path() +
                              "' " VANTREL_TEST_HOSTS_DIR "/host_context_actors";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::string> records = log_lines(dir.path(), "ctxactors");
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(message_of(records[0]), "ada");
  EXPECT_EQ(field_of(records[0], 1), ">=");
  EXPECT_EQ(message_of(records[1]), "dev");
  EXPECT_EQ(field_of(records[1], 1), "==");
  EXPECT_EQ(message_of(records[3]).rfind("ada: ", 0), 0u);
}

// ---------------------------------------------------------------------------
// Cross calls
// ---------------------------------------------------------------------------

Call sample_call() {
  return Call{5, 2, step_fields("order", "7"), step_fields("pack", "8"), step_fields("ship", "9")};
}

TEST_F(Workflow, IncomingCallInstallsRecordAndLastPopRemovesIt) {
  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  Data* data = get_data();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->installed_by_call);
  EXPECT_EQ(data->major_tick, 5u);
  EXPECT_EQ(data->major_depth, 2u);
  EXPECT_EQ(data->root.text(), "order#7");
  EXPECT_EQ(data->caller.text(), "pack#8");
  EXPECT_EQ(data->callee.text(), "ship#9");
  EXPECT_EQ(data->user.text(), "ann");
  EXPECT_EQ(data->incoming_calls, 1);
  ASSERT_EQ(data->calls.size(), 1u);
  EXPECT_EQ(data->calls.back().trace, nullptr);

  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), data);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), nullptr);
}

TEST_F(Workflow, CallsOnRecordOfAnotherOwnerLeaveItInPlace) {
  WithContext context;
  LL::before_incoming_call(sample_call(), SubFields{});
  EXPECT_FALSE(context.data->installed_by_call);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), context.data);
  EXPECT_EQ(context.data->incoming_calls, 0);
  LL::after_incoming_call();  // a stray end: no counter wraps round
  EXPECT_EQ(context.data->incoming_calls, 0);
}

TEST_F(Workflow, WithoutRecordAfterCallsAndSetUserDoNothing) {
  LL::after_incoming_call();
  LL::after_incoming_call(L, "x");
  LL::after_outgoing_call(sample_call(), SubFields{"ann"});
  LL::after_outgoing_call(sample_call(), SubFields{"ann"}, L, "x");
  LL::set_user(SubFields{"ann"});
  EXPECT_EQ(get_data(), nullptr);
  EXPECT_TRUE(lines().empty());
}

TEST_F(Workflow, SetUserChangesTheRecordsUser) {
  WithContext context;
  LL::set_user(SubFields{"ann", "ops"});
  EXPECT_EQ(context.data->user.text(), "ann/ops");
}

// Which text a call with importances writes: the first pair for the
// outermost call on the thread, the nested pair otherwise.
struct CallChain {
  const char* name;
  std::vector<Call_kind> kinds;
  std::vector<std::string> texts;
};

void PrintTo(const CallChain& chain, std::ostream* out) { *out << chain.name; }

class CallMessages : public Workflow, public ::testing::WithParamInterface<CallChain> {};

TEST_P(CallMessages, OutermostCallWritesFirstTextOthersNested) {
  WithDevice binding(device);
  for (Call_kind kind : GetParam().kinds) {
    if (kind == Call_kind::Incoming) {
      LL::before_incoming_call(sample_call(), SubFields{}, M, "first", S, "nested");
    } else {
      LL::before_outgoing_call(M, "first", S, "nested");
    }
  }
  std::vector<std::string> texts;
  for (const std::string& line : lines()) texts.push_back(message_of(line));
  EXPECT_EQ(texts, GetParam().texts);
  for (auto kind = GetParam().kinds.rbegin(); kind != GetParam().kinds.rend(); ++kind) {
    if (*kind == Call_kind::Incoming) {
      LL::after_incoming_call();
    } else {
      LL::after_outgoing_call(sample_call(), SubFields{});
    }
  }
  EXPECT_EQ(get_data()->incoming_calls + get_data()->outgoing_calls, 0);
  EXPECT_TRUE(get_data()->calls.empty());
}

const auto In = Call_kind::Incoming;
const auto Out = Call_kind::Outgoing;

INSTANTIATE_TEST_SUITE_P(
    Chains, CallMessages,
    ::testing::Values(CallChain{"in", {In}, {"first"}},
                      CallChain{"in_in", {In, In}, {"first", "nested"}},
                      CallChain{"in_out", {In, Out}, {"first", "first"}},
                      CallChain{"in_in_out", {In, In, Out}, {"first", "nested", "nested"}},
                      CallChain{"out_in", {Out, In}, {"first", "nested"}},
                      CallChain{"out_out", {Out, Out}, {"first", "nested"}}),
    [](const ::testing::TestParamInfo<CallChain>& info) { return info.param.name; });

TEST_F(Workflow, AfterCallWithTextReplacesTheClosingMessage) {
  WithDevice binding(device);
  LL::before_incoming_call(sample_call(), SubFields{}, M, "serve", M, "nested");
  LL::after_incoming_call(Error, "served badly");
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_TRUE(is_record(records[0], "==", "{", "serve")) << records[0];
  EXPECT_TRUE(is_record(records[1], ">>", "}", "served badly")) << records[1];
  EXPECT_EQ(field_of(records[1], 2), "E");
}

TEST_F(Workflow, OutgoingCallTakesBackTheCalleesPosition) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  Data& data = *get_data();
  LL::before_outgoing_call(M, "call", M, "nested");
  ASSERT_EQ(data.minor_depth, 2u);  // the root's scope and the call
  Printf{Vantrel::M}("waiting");
  LL::after_outgoing_call(sample_call(), SubFields{"bob"}, M, "returned");
  EXPECT_EQ(data.callee.text(), "ship#9");
  EXPECT_EQ(data.major_tick, 5u);
  EXPECT_EQ(data.user.text(), "bob");
  EXPECT_EQ(data.minor_tick, 1u);   // zeroed, then the closing record
  EXPECT_EQ(data.minor_depth, 1u);  // back to the root's scope alone
  EXPECT_EQ(data.outgoing_calls, 0);
  EXPECT_EQ(get_data(), &data);
}

// A workflow position carried from one thread to another and back.
TEST_F(Workflow, CallCarriesPositionBetweenThreads) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  WorkflowScope step(Step(step_fields("pack", "8")));
  const Data& data = *get_data();
  const Call outgoing{data.major_tick, data.major_depth, data.root, data.caller, data.callee};
  LL::before_outgoing_call(M, "ask", M, "ask again");

  Call returned;
  std::thread server([&] {
    WithDevice binding(device);
    LL::before_incoming_call(outgoing, SubFields{"svc"}, M, "serve", M, "serve again");
    {
      WorkflowScope work(Step(step_fields("weigh", "3")));
      Printf{Vantrel::M}("weighing");
      const Data& mine = *get_data();
      returned = Call{mine.major_tick, mine.major_depth, mine.root, mine.caller, mine.callee};
    }
    LL::after_incoming_call();
  });
  for (int i = 0; i < 20; ++i) Printf{Vantrel::M}("client %d", i);
  server.join();
  LL::after_outgoing_call(returned, SubFields{"ann"});

  EXPECT_EQ(data.callee.text(), "weigh#3");
  EXPECT_EQ(data.caller.text(), "pack#8");
  EXPECT_EQ(data.major_depth, 2u);
  bool seen = false;
  for (const std::string& line : lines()) {
    if (message_of(line) != "weighing") continue;
    seen = true;
    EXPECT_EQ(field_of(line, 11), "order");
    EXPECT_EQ(field_of(line, 15), "weigh");
    EXPECT_EQ(field_of(line, 17), "svc");
  }
  EXPECT_TRUE(seen);
}

}  // namespace
