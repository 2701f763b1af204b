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

class TimelineBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    int status = 0;
    run("node --version >/dev/null 2>&1", &status);
    if (status != 0 || ::access("/usr/bin/chromium", X_OK) != 0 ||
        ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
      GTEST_SKIP() << "needs node, /usr/bin/chromium (Debian chromium) and playwright-core in "
                   << tools << " (make test-browser installs them)";
  }
  // The page of `logs` loads without a console error, shows `lanes` lanes
  // and `bars` bars, zooms, pans and shows a bar's details; prints the time
  // to the drawn page (a figure for the documentation, not a pass mark).
  void expect_page_works(const std::string& logs, int lanes, int bars) {
    const std::string page = dir.path + "/page.html";
    ToolRun tool = run_tool(dir, "--html '" + page + "'" + logs);
    ASSERT_EQ(tool.status, 0) << tool.err;
    int status = 0;
    const std::string verdict = run(
        "node '" VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js' '" + tools + "' check '" +
            page + "' " + std::to_string(lanes) + " " + std::to_string(bars) + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << verdict;
    EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
    std::cout << bars << " scopes: " << verdict;
  }
  TempDir dir;
};

TEST_F(TimelineBrowser, PageShowsEveryLaneAndBarZoomsPansAndShowsDetails) {
  run_host(dir, "host_timeline_work");
  expect_page_works(quoted(logs_in(dir)), 4, 36);  // 3 workers and main; 36 scopes
}

TEST_F(TimelineBrowser, PageOfAHundredThousandScopesLoads) {
  std::ofstream log(dir.path + "/big.log");
  for (int i = 0; i < 50000; ++i) {
    char head[64];
    std::snprintf(head, sizeof head, "2026/12/06 10:00:%02d.%03d|>=| | |   10|%4d|", i / 1000,
                  i % 1000, 11 + i % 4);
    const std::string columns = "|||||||||||||||";
    log << head << '{' << columns << "outer\n"
        << head << '{' << columns << "inner\n"
        << head << '}' << columns << "inner: 0.0004\n"
        << head << '}' << columns << "outer: 0.0009\n";
  }
  log.close();
  expect_page_works(" '" + dir.path + "/big.log'", 4, 100000);
}

}  // namespace
