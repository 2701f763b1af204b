// The timeline's HTML page in a real browser: headless Chromium driven by
// tests/tools/timeline_browser.js (playwright-core). Skipped where Chromium
// or playwright-core is missing; make test-browser installs them.
#include <iostream>

#include "tools/timeline_support.h"

#ifndef VANTREL_BROWSER_TOOLS
#define VANTREL_BROWSER_TOOLS VANTREL_BINARY_DIR "/browser-tools"
#endif

namespace {

using namespace timeline_support;

const std::string tools = VANTREL_BROWSER_TOOLS;

struct Page {
  const char* name;
  void (*write_logs)(const std::string& dir);
  int lanes, bars;
};

// Two processes with a call between them, a step left by an exception and a
// scope never closed.
void two_processes(const std::string& dir) {
  Case two;
  two.play("two_processes", true);
  int status = 0;
  run("mv '" + two.dir.path + "'/*_x.* '" + dir + "'", &status);
}

// 100,000 scopes on four threads.
void hundred_thousand(const std::string& dir) {
  std::ofstream log(dir + "/big.log");
  const char columns[] = "|||||||||||||||";
  for (int i = 0; i < 50000; ++i) {
    char head[64];
    std::snprintf(head, sizeof head, "2026/12/06 10:00:%02d.%03d|>=| | |   10|%4d|", i / 1000,
                  i % 1000, 11 + i % 4);
    log << head << '{' << columns << "outer\n"
        << head << '{' << columns << "inner\n"
        << head << '}' << columns << "inner: 0.0004\n"
        << head << '}' << columns << "outer: 0.0009\n";
  }
}

class TimelineBrowser : public ::testing::TestWithParam<Page> {};
INSTANTIATE_TEST_SUITE_P(Pages, TimelineBrowser,
                         ::testing::Values(Page{"TwoProcesses", two_processes, 2, 6},
                                           Page{"HundredThousandScopes", hundred_thousand, 4,
                                                100000}),
                         [](const auto& info) { return std::string(info.param.name); });

// The page loads without a console error, shows every lane and bar, zooms,
// pans and shows a bar's details; the time to the drawn page is printed (a
// figure for the documentation, not a pass mark).
TEST_P(TimelineBrowser, PageShowsEveryLaneAndBarZoomsPansAndShowsDetails) {
  int status = 0;
  run("node --version >/dev/null 2>&1", &status);
  if (status != 0 || ::access("/usr/bin/chromium", X_OK) != 0 ||
      ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
    GTEST_SKIP() << "needs node, /usr/bin/chromium (Debian chromium) and playwright-core in "
                 << tools << " (make test-browser installs them)";
  TempDir dir;
  GetParam().write_logs(dir.path);
  const std::string page = dir.path + "/page.html";
  ToolRun tool = run_tool(dir, "--html '" + page + "'" + quoted(logs_in(dir)));
  ASSERT_EQ(tool.status, 0) << tool.err;
  const std::string verdict =
      run("node '" VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js' '" + tools + "' check '" +
              page + "' " + std::to_string(GetParam().lanes) + " " +
              std::to_string(GetParam().bars) + " 2>&1",
          &status);
  EXPECT_EQ(status, 0) << verdict;
  EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
  std::cout << GetParam().bars << " scopes: " << verdict;
}

}  // namespace
