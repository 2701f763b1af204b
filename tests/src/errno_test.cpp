// The caller's errno survives every public entry point, also when the
// library's own system calls fail under it (a log directory and a
// configuration file that do not exist), and "%m" formats the caller's value.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"

namespace Vantrel {
namespace {

const char* const missing_dir = "/nonexistent/vantrel_errno_test";

// Keeps the text of each record; guarded by the message lock.
class TextCapture : public LogFile {
 public:
  std::string last;

 protected:
  std::ostream* do_header_record() override {
    current_.str("");
    return &current_;
  }
  void do_footer_record() override { last = current_.str(); }

 private:
  std::ostringstream current_;
};

// The first message of the process reads the (missing) configuration file;
// "%m" still prints the caller's error, and the caller's errno is kept.
TEST(ErrnoTest, PercentMAtFirstMessageSeesTheCallersError) {
  Admin::configfile(std::string(missing_dir) + "/trace.ini");
  auto* capture = new TextCapture;
  default_logos()->log_file.reset(capture);
  errno = EACCES;
  Printf{Assert}("open: %m");
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(capture->last, std::string("open: ") + std::strerror(EACCES));
}

TEST(ErrnoTest, EveryEntryPointKeepsTheCallersErrno) {
  Admin::logdir(missing_dir);
  Admin::active(true);
  Admin::importance(XS);
  const Context::LowLevelAPI::Call call;
  const struct {
    const char* name;
    std::function<void()> run;
  } entries[] = {
      {"Printf", [] { Printf{M}("x"); }},
      {"VANTREL_LOG", [] { VANTREL_LOG(M) << "x"; }},
      {"Logger", [] { Logger logger(Assert, Logger::Plain); }},
      {"configfile", [] { Admin::configfile(std::string(missing_dir) + "/trace.ini"); }},
      {"config read", [] { (void)Admin::config(); }},
      {"config text", [] { Admin::config(std::string("active = true; size = 50;")); }},
      {"bad config text", [] { Admin::config(std::string("active = ;")); }},
      {"logdir", [] { Admin::logdir(missing_dir); }},
      {"getters", [] { (void)(Admin::name() + Admin::logdir() + Admin::configfile()); }},
      {"edits", [] { Admin::size(10), Admin::keep(true), Admin::period(SimpleTime::Duration()); }},
      {"Config::parse",
       [] {
         std::istringstream in("size = 5;");
         Config().parse(in);
       }},
      {"device", [] { Context::Device device("errno", "xml", missing_dir, "/nonexistent/x.ini"); }},
      {"device scope",
       [] {
         Context::Device device("errno", "log", missing_dir, "");
         Context::WithDevice with(device);
         Printf{Assert}("on the device");
       }},
      {"workflow",
       [] {
         Context::WorkflowScope scope(Context::Root({{"a"}, {"1"}}));
         Context::DeveloperScope developer({"dev"});
       }},
      {"incoming call",
       [&call] {
         Context::LowLevelAPI::before_incoming_call(call, {"user"}, M, "first", M, "nested");
         Context::LowLevelAPI::after_incoming_call(M, "done");
       }},
      {"library start and stop", [] { VantrelInitExit again; }},
  };
  const int distinctive = 4242;
  for (const auto& entry : entries) {
    errno = distinctive;
    entry.run();
    EXPECT_EQ(errno, distinctive) << entry.name;
  }
}

}  // namespace
}  // namespace Vantrel
