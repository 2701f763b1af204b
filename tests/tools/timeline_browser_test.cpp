// The timeline's HTML page in a real browser: headless Chromium driven by
// tests/tools/timeline_browser.js (playwright-core). Skipped where Chromium
// or playwright-core is missing; make test-browser installs them.
#include "tools/timeline_support.h"

#ifndef VANTREL_BROWSER_TOOLS
#define VANTREL_BROWSER_TOOLS VANTREL_BINARY_DIR "/browser-tools"
#endif

namespace {

using namespace timeline_support;

const std::string tools = VANTREL_BROWSER_TOOLS;

// The page of two processes with a call between them, a step left by an
// exception and a scope never closed loads without a console error, shows
// both lanes and all six bars, zooms, pans and shows a bar's details.
TEST(TimelineBrowser, PageShowsEveryLaneAndBarZoomsPansAndShowsDetails) {
  int status = 0;
  run("node --version >/dev/null 2>&1", &status);
  if (status != 0 || ::access("/usr/bin/chromium", X_OK) != 0 ||
      ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
    GTEST_SKIP() << "needs node, /usr/bin/chromium (Debian chromium) and playwright-core in "
                 << tools << " (make test-browser installs them)";
  Case two;
  two.play("two_processes", true);
  const std::string page = two.dir.path + "/page.html";
  ToolRun tool = run_tool(two.dir, "--html '" + page + "'" + logs_in(two.dir));
  ASSERT_EQ(tool.status, 0) << tool.err;
  const std::string verdict =
      run("node '" VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js' '" + tools + "' check '" +
              page + "' 2 6 2>&1",
          &status);
  EXPECT_EQ(status, 0) << verdict;
  EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
}

}  // namespace
