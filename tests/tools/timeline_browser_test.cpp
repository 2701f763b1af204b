// The timeline's HTML page in a real browser: headless Chromium driven by
// tests/tools/timeline_browser.js (playwright-core). Skipped where Chromium
// or playwright-core is missing; make test-browser installs them.
#include <unistd.h>

#include <fstream>

#include "tools/timeline_support.h"

namespace {

using namespace timeline_support;

const std::string tools = VANTREL_BINARY_DIR "/browser-tools";

class TimelineBrowser : public testing::Test {
 protected:
  void SetUp() override {
    int status = 0;
    run("node --version >/dev/null 2>&1", &status);
    if (status != 0 || ::access("/usr/bin/chromium", X_OK) != 0 ||
        ::access((tools + "/node_modules/playwright-core/package.json").c_str(), R_OK) != 0)
      GTEST_SKIP() << "needs node, /usr/bin/chromium (Debian chromium) and playwright-core in "
                   << tools << " (make test-browser installs them)";
  }
  // The page of `logs` in `dir` passes the browser's check with `counts`
  // ("LANES BARS").
  void expect_page_works(const TempDir& dir, const std::string& logs, const std::string& counts) {
    const std::string page = dir.path + "/page.html";
    ASSERT_EQ(run_tool(dir, "--html '" + page + "'" + logs).status, 0);
    int status = 0;
    const std::string verdict =
        run("node '" VANTREL_SOURCE_DIR "/tests/tools/timeline_browser.js' '" + tools +
                "' check '" + page + "' " + counts + " 2>&1",
            &status);
    EXPECT_EQ(status, 0) << verdict;
    EXPECT_EQ(verdict.rfind("ok ", 0), 0u) << verdict;
  }
};

// The page of two processes with a call between them, a step left by an
// exception and a scope never closed loads without a console error, shows
// both lanes and all six bars, zooms, pans and shows a bar's details.
TEST_F(TimelineBrowser, PageShowsEveryLaneAndBarZoomsPansAndShowsDetails) {
  Case two;
  two.play("two_processes", true);
  expect_page_works(two.dir, logs_in(two.dir), "2 6");
}

// A page of 100,000 scopes works like a small one.
TEST_F(TimelineBrowser, PageOfAHundredThousandScopesWorks) {
  TempDir dir;
  {
    std::ofstream out(dir.path + "/big.log");
    for (int ms = 0; ms < 50000; ++ms)
      for (const auto& [tag, text] : std::initializer_list<std::pair<char, const char*>>{
               {'{', "outer"}, {'{', "inner"}, {'}', "inner: 0.0004"}, {'}', "outer: 0.0009"}})
        out << text_record(10, 11 + ms % 4, ms, tag, text);
  }
  expect_page_works(dir, " '" + dir.path + "/big.log'", "4 100000");
}

}  // namespace
