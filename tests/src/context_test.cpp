// The per-thread context record, devices (destinations of their own, shared
// by the threads bound to them) and traced scopes.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <iomanip>
#include <regex>
#include <sstream>
#include <thread>

#include "ContextInternal.h"
#include "Library.h"
#include "hosts/context_support.h"
#include "zeltools/native/ThreadId.h"

using namespace Vantrel;
using namespace Vantrel::Context;
using namespace context_support;

namespace {

TEST(SubFields, TextJoinsFieldsWithSlashAndStepsWithHash) {
  std::string texts;
  for (const SubFields& f : {SubFields{}, SubFields{"a", "b", "c"}, SubFields{"", "x"},
                             SubFields{"a", ""}, SubFields{""}})
    texts += f.text() + std::to_string(f.elements().size()) + f.elements().front() + ",";
  EXPECT_EQ(texts, "1,a/b/c4,/x3,a/3,2,");
  EXPECT_EQ(SubFields{"a"}.add("d").text() + " " +
                StepFields(SubFields{"a", "b"}, SubFields{"1", "2"}).text() + " " +
                StepFields().text(),
            "a/d a/b#1/2 #");
  EXPECT_TRUE(StepFields().empty());
  EXPECT_FALSE(StepFields(SubFields{}, SubFields{""}).empty());  // an empty field is a field
}

// The first WithContext on a thread installs the record and removes it.
TEST(Record, InstalledByTheFirstWithContextAndRemovedByIt) {
  {
    WithContext outer;
    WithContext inner;
    EXPECT_EQ(std::to_string(outer.is_owner) + std::to_string(inner.is_owner), "10");
    EXPECT_EQ(inner.data, outer.data);
    EXPECT_GE(outer.data->calls.capacity(), 2u);
  }
  EXPECT_EQ(get_data(), nullptr);
}

// Nested bindings write to their own device; a null device keeps the binding,
// one without a destination binds the default destination.
TEST(WithDevice, NestedNullAndDestinationlessBindings) {
  TempDir dir;
  Admin::logdir(dir.path);
  Admin::active(true);
  Device d1("ctxone", "log", dir.path, dir.path + "/absent.ini"), plain,
      d2("ctxtwo", "log", dir.path, dir.path + "/absent.ini");
  {
    WithDevice outer(d1);
    Admin::active(true);
    {
      WithDevice inner(&d2);
      Admin::active(true);
      WithDevice none(static_cast<const Device*>(nullptr));
      Printf{M}("inner");
    }
    {
      WithDevice by_reference(plain);
      EXPECT_EQ(get_logos(get_data()), default_logos());
    }
    Printf{M}("middle");
  }
  Printf{M}("outer");
  EXPECT_EQ(dir.all_texts(), (std::vector<std::string>{"outer", "middle", "inner"}));
}

// A filtered opening has no closing even if activated meanwhile; a written
// one is always closed, with the elapsed time.
TEST(TracedScope, OnlyAWrittenOpeningIsClosed) {
  TempDir dir;
  Device device("ctx", "log", dir.path, "");
  WithDevice binding(device);
  {
    StepTrace step(M, StepFields(SubFields{"quiet"}, SubFields{"1"}));
    Admin::config(std::string("active = true; importance = xs;"));
  }
  {
    ActorTrace actor(M, SubFields{"ann", "lee"});
    Admin::active(false);
  }
  const std::vector<std::string> records = log_lines(dir, "ctx");
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(field_of(records[0], 6) + message_of(records[0]) + field_of(records[1], 6),
            "{ann/lee}");
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
  Admin::config("active = true; importance = xs; display_mask = " + std::to_string(0x44a02) +
                "; minor_steps_display_width = 3; workflow_names_display_width = 8;"
                " actors_display_width = 5;");

  WorkflowScopeBase pack(Step(StepFields(SubFields{"pack"}, SubFields{"2"})));
  ActorTrace outer(M, SubFields{"x"});                                                // 1/1
  { WorkflowScopeBase label(Step(StepFields(SubFields{"label"}, SubFields{"3"}))); }  // 0/1
  { CallTrace a(M, "a"); }                                                            // 2/1
  { CallTrace b(M, "b"); }                                                            // 4/1
  { CallTrace start(Warning, "start"); }

  const std::vector<std::string> records = log_lines(dir, "ctx");
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

void activate(const Device& device) {
  WithDevice binding(device);
  Admin::active(true);
  Admin::importance(XS);
}

TEST(Device, DestroyingTheDeviceCompletesItsLogFile) {
  TempDir dir;
  {
    Device device("xmldev", "xml", dir.path, "");
    activate(device);
    WithDevice binding(device);
    Printf{M}("kept");
  }
  ASSERT_EQ(dir.files().size(), 1u);
  const std::string text = logfile_support::read_file(dir.path + "/" + dir.files()[0]);
  EXPECT_TRUE(contains(text, "kept"));
  EXPECT_EQ(text.substr(text.size() - 11), "</Vantrel>\n");
}

// Threads bound to one device share its file without mixing records.
TEST(Device, ThreadsShareADeviceAndKeepOthersApart) {
  TempDir dir;
  Device shared("shared", "log", dir.path, ""), own("own", "log", dir.path, "");
  activate(shared);
  activate(own);
  auto writer = [](const Device& device, const char* who) {
    WithDevice binding(device);
    for (int i = 0; i < 50; ++i) Printf{M}("%s %d", who, i);
  };
  std::thread a(writer, std::cref(shared), "a"), b(writer, std::cref(shared), "b");
  std::thread c(writer, std::cref(own), "c");
  a.join(), b.join(), c.join();
  const std::vector<std::string> texts = messages(dir, "shared");
  EXPECT_EQ(texts.size(), 100u);
  for (const std::string& text : texts)
    EXPECT_TRUE(std::regex_match(text, std::regex("[ab] \\d+")));
  EXPECT_EQ(messages(dir, "own").size(), 50u);
}

}  // namespace
