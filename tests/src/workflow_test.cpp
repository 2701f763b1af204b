// Workflow steps, actor scopes and the cross-call interface.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <numeric>
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

// A device that writes every message with the context columns. The thread
// starts without a record.
class Workflow : public ::testing::Test {
 protected:
  Workflow() : device("wf", "log", dir.path, "") {
    WithDevice binding(device);
    EXPECT_TRUE(Admin::config(
        std::string("active = true; importance = xs; display_mask = workflow_mask | user_mask | "
                    "architect_mask | developer_mask;")));
  }
  // Per record: level and severity marks, the tag mark and context columns,
  // and the label of an opening or closing (its text up to ": ").
  std::string summary() const {
    std::string lines;
    for (const std::string& line : log_lines(dir, "wf")) {
      for (int n = 1; n < 21; ++n) lines += n < 3 || n > 5 ? field_of(line, n) + "|" : "";
      lines += message_of(line).substr(0, message_of(line).find(": ")) + "\n";
    }
    return lines;
  }
  TempDir dir;
  Device device;
};

// The records show each scope's position; the last step and actor scopes
// write nothing and are seen by the message after them.
TEST_F(Workflow, StepsAndActorsMoveTheRecordAndComeBack) {
  {
    WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
    {
      WorkflowScope step(Step(step_fields("pack", "8")));
      WorkflowScope again(Root(step_fields("refund", "9")));  // a root inside: a step
      WorkflowScopeBase named(Root(step_fields("audit", "10"), SubFields{"bob"}));
      Printf{M}("named");
    }
    get_data()->architect.add("old");
    ArchitectScope architect(SubFields{"ada", "team"});
    DeveloperScope developer(SubFields{"dev"});
    ArchitectScopeBase quiet(SubFields{"inner"});
    Printf{M}("quiet");
  }
  EXPECT_EQ(get_data(), nullptr);
  EXPECT_EQ(summary(), case_text("workflow_steps.txt"));
}

// Without a record the actor scopes install none but still write.
TEST(ActorScope, WithoutRecordWritesAndChangesNothing) {
  TempDir dir;
  Admin::logdir(dir.path);
  Admin::config(std::string("active = true; importance = xs;"));
  {
    ArchitectScope architect(SubFields{"ada"});
    DeveloperScope developer(SubFields{"dev"});
    EXPECT_EQ(get_data(), nullptr);
  }
  EXPECT_EQ(dir.all_texts().size(), 4u);
  EXPECT_EQ(dir.all_texts()[0] + dir.all_texts()[1], "adadev");
}

// A call installs a record the last end removes; calls and workflows leave
// a record someone else installed, and stray ends change nothing.
TEST_F(Workflow, IncomingCallsInstallOnlyTheirOwnRecord) {
  LL::after_incoming_call(L, "x");
  LL::after_outgoing_call(sample_call(), SubFields{"ann"}, L, "x");
  LL::set_user(SubFields{"ann"});
  EXPECT_EQ(get_data(), nullptr);
  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  Data* data = get_data();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(std::to_string(data->major_tick * 10 + data->major_depth) + data->root.text() +
                data->caller.text() + data->callee.text() + data->user.text(),
            "52order#7pack#8ship#9ann");
  LL::before_incoming_call(sample_call(), SubFields{"ann"});
  EXPECT_EQ(data->incoming_calls, 2);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), data);
  LL::after_incoming_call();
  EXPECT_EQ(get_data(), nullptr);

  WithContext context;
  context.data->user.add("kept");
  { WorkflowScopeBase first(Root(step_fields("batch", "1"))); }
  EXPECT_EQ(context.data->root.text() + context.data->user.text(), "batch#1kept");
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
  WithDevice binding(device);
  for (const auto& row : case_rows("call_texts.txt")) {
    const std::size_t before = log_lines(dir, "wf").size();
    for (char kind : row[0]) {
      if (kind == 'I') LL::before_incoming_call(sample_call(), SubFields{}, M, "F", S, "N");
      if (kind == 'O') LL::before_outgoing_call(M, "F", S, "N");
    }
    const std::vector<std::string> texts = messages(dir, "wf");
    EXPECT_EQ(std::accumulate(texts.begin() + before, texts.end(), std::string()), row[1])
        << row[0];
    for (auto kind = row[0].rbegin(); kind != row[0].rend(); ++kind) {
      if (*kind == 'I') LL::after_incoming_call();
      if (*kind == 'O') LL::after_outgoing_call(sample_call(), SubFields{});
    }
    EXPECT_EQ(get_data()->calls.size() + get_data()->incoming_calls + get_data()->outgoing_calls,
              0u);
  }
}

// A position carried to a serving thread and back; the outgoing call's end
// takes it back and replaces the closing text.
TEST_F(Workflow, CallCarriesPositionBetweenThreadsAndBack) {
  {
    WorkflowScope root(Root(step_fields("order", "7"), SubFields{"ann"}, &device));
    const Data& data = *get_data();
    const Call outgoing{data.major_tick, data.major_depth, data.root, data.caller, data.callee};
    LL::before_outgoing_call(M, "call", M, "nested");
    Call returned;
    std::thread server([&] {
      WithDevice binding(device);
      LL::before_incoming_call(outgoing, SubFields{"svc"}, M, "serve", M, "serve again");
      {
        WorkflowScope work(Step(step_fields("weigh", "3")));
        const Data& mine = *get_data();
        returned = Call{mine.major_tick, mine.major_depth, mine.root, mine.caller, mine.callee};
      }
      LL::after_incoming_call();
    });
    server.join();
    LL::after_outgoing_call(returned, SubFields{"bob"}, Error, "failed");
  }
  EXPECT_EQ(summary(), case_text("workflow_call.txt"));
}

}  // namespace
