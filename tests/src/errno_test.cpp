// The caller's errno survives every public entry point, also when the
// library's own system calls fail under it (a log directory and a
// configuration file that do not exist), and "%m" formats the caller's value.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <sstream>

#include "src/capture_support.h"

using namespace Vantrel;

const char* const missing_dir = "/nonexistent/vantrel_errno_test";

TEST(ErrnoTest, EveryEntryPointKeepsTheCallersErrno) {
  // The first message reads the missing configuration file; %m shows EACCES.
  Admin::configfile(std::string(missing_dir) + "/trace.ini");
  auto* capture = capture_support::CaptureLogFile::install();
  errno = EACCES;
  Printf{Assert}("open: %m");
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(capture->texts(), std::vector<std::string>{std::string("open: ") + strerror(EACCES)});

  Admin::logdir(missing_dir);
  Admin::active(true);
  Admin::importance(XS);
  const Context::LowLevelAPI::Call call;
  const std::function<void()> entries[] = {
      [] { Printf{M}("x"); },
      [] { VANTREL_LOG(M) << "x"; },
      [] { Logger logger(Assert, Logger::Plain); },
      [] { Admin::configfile(std::string(missing_dir) + "/trace.ini"); },
      [] { (void)Admin::config(); },
      [] { Admin::config(std::string("active = ;")); },
      [] {
        std::istringstream in("size = 5;");  // names from the process and environment
        Config().parse(in);
      },
      [] {
        Context::Device device("errno", "log", missing_dir, "");
        Context::WithDevice with(device);
        Printf{Assert}("on the device");
      },
      [] {
        Context::WorkflowScope scope(Context::Root({{"a"}, {"1"}}));
        Context::DeveloperScope developer({"dev"});
      },
      [&call] {
        Context::LowLevelAPI::before_incoming_call(call, {"user"}, M, "first", M, "nested");
        Context::LowLevelAPI::after_incoming_call(M, "done");
      },
      [] { VantrelInitExit again; },
  };
  for (std::size_t i = 0; i < std::size(entries); ++i) {
    errno = 4242;
    entries[i]();
    EXPECT_EQ(errno, 4242) << "entry " << i;
  }
}
