// Workflow steps, actor scopes and the cross-call interface.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstdlib>
#include <thread>

#include "hosts/context_support.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace context_support;
using Vantrel::Context::LowLevelAPI::Call;
namespace LL = Vantrel::Context::LowLevelAPI;

namespace {

StepFields step_fields(const std::string& name, const std::string& id) {
  return StepFields(SubFields{name}, SubFields{id});
}

Call sample_call() {
  return Call{5, 2, step_fields("order", "7"), step_fields("pack", "8"), step_fields("ship", "9")};
}

// A device whose settings let every message through, showing the root name,
// callee name and actor columns. The thread starts without a record.
class Workflow : public ::testing::Test {
 protected:
  Workflow() : device("wf", "log", dir.path, "") {
    WithDevice binding(device);
    Config config;
    config.active = true;
    config.importance = Importance(0, 0);
    config.display_mask = root_name_mask | callee_name_mask | actors_mask;
    Admin::config(config);
  }

  std::vector<std::string> lines() const { return log_lines(dir.path, "wf"); }

  // Level mark, tag mark and the label of an opening or closing record.
  static std::string summary(const std::string& line) {
    const std::string text = message_of(line);
    return field_of(line, 1) + field_of(line, 6) + text.substr(0, text.find(": "));
  }

  TempDir dir;
  Device device;
};

TEST_F(Workflow, RootOnBareThreadStartsWorkflowAndRemovesRecord) {
  {
    WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
    const Data& data = *get_data();
    EXPECT_EQ(data.major_tick + data.major_depth, 0u);
    EXPECT_EQ(data.root.text() + data.callee.text() + data.caller.text(), "order#7order#7#");
    EXPECT_EQ(data.user.text(), "ann");
    EXPECT_EQ(data.logos(), device.logos());
  }
  EXPECT_EQ(get_data(), nullptr);
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(summary(records[0]), ">>{order#7");
  EXPECT_EQ(summary(records[1]), ">>}order#7");
  EXPECT_EQ(field_of(records[1], 15), "order");  // closed while still in the step
}

TEST_F(Workflow, NestedStepsMoveCallerAndCalleeAndComeBack) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  const Data& data = *get_data();
  {
    WorkflowScope step(Step(step_fields("pack", "8")));
    EXPECT_EQ(data.major_depth * 10 + data.major_tick, 11u);
    EXPECT_EQ(data.caller.text() + " " + data.callee.text(), "order#7 pack#8");
    {
      WorkflowScope again(Root(step_fields("refund", "9")));  // a root inside: a step
      EXPECT_EQ(data.root.text() + " " + data.caller.text(), "order#7 pack#8");
      EXPECT_EQ(data.user.text(), "ann");  // an empty user leaves the user alone
      WorkflowScopeBase named(Root(step_fields("audit", "10"), SubFields{"bob"}));
      EXPECT_EQ(data.user.text(), "bob");
    }
  }
  EXPECT_EQ(data.major_depth * 10 + data.major_tick, 6u);
  EXPECT_EQ(data.callee.text() + data.caller.text(), "order#7#");
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(summary(records[1]), ">={pack#8");
  EXPECT_EQ(summary(records[2]), ">>{refund#9");
  EXPECT_EQ(summary(records[4]), ">=}pack#8");
}

TEST_F(Workflow, WorkflowStartedOnExistingRecordIsNotUndone) {
  WithContext context;
  context.data->user.add("kept");
  { WorkflowScopeBase first(Root(step_fields("batch", "1"))); }
  EXPECT_EQ(context.data->root.text() + context.data->callee.text(), "batch#1batch#1");
  EXPECT_EQ(context.data->user.text(), "kept");
}

TEST_F(Workflow, ActorScopesSetAndRestoreTheirActor) {
  WithDevice binding(device);
  Data& data = *get_data();
  data.architect.add("old");
  {
    ArchitectScope architect(SubFields{"ada", "team"});
    DeveloperScope developer(SubFields{"dev"});
    EXPECT_EQ(data.architect.text() + " " + data.developer.text(), "ada/team dev");
    ArchitectScopeBase quiet(SubFields{"inner"});
    EXPECT_EQ(data.architect.text(), "inner");
  }
  EXPECT_EQ(data.architect.text() + data.developer.text(), "old");
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 4u);
  EXPECT_EQ(summary(records[0]), ">={ada/team");
  EXPECT_EQ(field_of(records[0], 18), "ada/team");
  EXPECT_EQ(summary(records[1]), "=={dev");
  EXPECT_EQ(summary(records[3]), ">=}ada/team");
}

// Without a record the actor scopes change nothing but still write their
// messages (to the default destination, so in a child process).
TEST(ActorScope, WithoutRecordWritesMessagesAndChangesNothing) {
  TempDir dir;
  const std::string command = "QZ_TRACE_LOGDIR='" + dir.path +
                              "' QZ_TRACE_NAME=ctxactors " VANTREL_TEST_HOSTS_DIR
                              "/host_context_actors";
  ASSERT_EQ(std::system(command.c_str()), 0);
  const std::vector<std::string> texts = messages(dir.path, "ctxactors");
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0] + " " + texts[1], "ada dev");
}

TEST_F(Workflow, IncomingCallInstallsRecordAndLastPopRemovesIt) {
  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  Data* data = get_data();
  ASSERT_NE(data, nullptr);
  EXPECT_TRUE(data->installed_by_call);
  EXPECT_EQ(data->major_tick * 10 + data->major_depth, 52u);
  EXPECT_EQ(data->root.text() + data->caller.text() + data->callee.text(), "order#7pack#8ship#9");
  EXPECT_EQ(data->user.text(), "ann");
  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  EXPECT_EQ(data->incoming_calls, 2);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), data);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), nullptr);
}

TEST_F(Workflow, CallsLeaveOthersRecordsAndIgnoreStrayEnds) {
  LL::after_incoming_call(L, "x");  // no record: nothing happens
  LL::after_outgoing_call(sample_call(), SubFields{"ann"}, L, "x");
  LL::set_user(SubFields{"ann"});
  EXPECT_EQ(get_data(), nullptr);

  WithContext context;
  LL::set_user(SubFields{"ann", "ops"});
  EXPECT_EQ(context.data->user.text(), "ann/ops");
  LL::before_incoming_call(sample_call(), SubFields{});
  LL::after_incoming_call();
  LL::after_incoming_call();  // a stray end: no counter wraps round
  EXPECT_EQ(get_data(), context.data);
  EXPECT_EQ(context.data->incoming_calls, 0);
}

// The first pair of importance and text for the outermost call on the
// thread, the nested pair for the others.
TEST_F(Workflow, OutermostCallWritesFirstTextOthersNested) {
  const auto In = Call_kind::Incoming;
  const auto Out = Call_kind::Outgoing;
  const struct {
    std::vector<Call_kind> kinds;
    std::string texts;
  } chains[] = {{{In}, "F"},       {{In, In}, "FN"},  {{In, Out}, "FF"}, {{In, In, Out}, "FNN"},
                {{Out, In}, "FN"}, {{Out, Out}, "FN"}};
  WithDevice binding(device);
  for (const auto& chain : chains) {
    const std::size_t before = lines().size();
    for (Call_kind kind : chain.kinds) {
      if (kind == In) LL::before_incoming_call(sample_call(), SubFields{}, M, "F", S, "N");
      if (kind == Out) LL::before_outgoing_call(M, "F", S, "N");
    }
    std::string texts;
    for (std::size_t i = before; i < lines().size(); ++i) texts += message_of(lines()[i]);
    EXPECT_EQ(texts, chain.texts);
    for (auto kind = chain.kinds.rbegin(); kind != chain.kinds.rend(); ++kind) {
      if (*kind == In) LL::after_incoming_call();
      if (*kind == Out) LL::after_outgoing_call(sample_call(), SubFields{});
    }
    EXPECT_TRUE(get_data()->calls.empty());
    EXPECT_EQ(get_data()->incoming_calls + get_data()->outgoing_calls, 0);
  }
}

TEST_F(Workflow, OutgoingCallTakesBackPositionAndReplacedClosingText) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
  Data& data = *get_data();
  LL::before_outgoing_call(M, "call", M, "nested");
  ASSERT_EQ(data.minor_depth, 2u);  // the root's scope and the call
  LL::after_outgoing_call(sample_call(), SubFields{"bob"}, Error, "failed");
  EXPECT_EQ(data.callee.text() + " " + data.user.text(), "ship#9 bob");
  EXPECT_EQ(data.minor_tick * 10 + data.minor_depth, 11u);  // zeroed, then the close
  const std::vector<std::string> records = lines();
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(summary(records[2]) + field_of(records[2], 2), ">>}failedE");
}

// A workflow position carried to another thread and back.
TEST_F(Workflow, CallCarriesPositionBetweenThreads) {
  WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
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

  EXPECT_EQ(data.caller.text() + " " + data.callee.text(), "order#7 weigh#3");
  std::string weighing;
  for (const std::string& line : lines()) {
    if (message_of(line) == "weighing") weighing = field_of(line, 11) + field_of(line, 15);
  }
  EXPECT_EQ(weighing, "orderweigh");
}

}  // namespace
