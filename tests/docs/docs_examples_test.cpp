// The guide's examples: what vantrel-config prints for each, and the pages
// that show them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <sstream>

#include "src/logfile_support.h"

namespace {

using logfile_support::read_file;
using logfile_support::TempDir;

const std::string examples = VANTREL_SOURCE_DIR "/docs/examples/";

// Without the calling environment's QZ_TRACE_ and MYHOST_ variables.
const std::string clean_env =
    "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR -u QZ_TRACE_CONFIGFILE"
    " -u QZ_TRACE_ECHO -u QZ_TRACE_XML -u QZ_TRACE_TO_SCREEN -u MYHOST_TRACE -u MYHOST_DEPLOY ";

// The stems of the files in `dir` whose names end with `suffix`, sorted.
std::vector<std::string> stems(const std::string& dir, const std::string& suffix) {
  int status = 0;
  std::istringstream names(logfile_support::run("cd " + dir + " && ls *" + suffix, &status));
  std::vector<std::string> stems;
  for (std::string name; std::getline(names, name);)
    stems.push_back(name.substr(0, name.size() - suffix.size()));
  return stems;
}

class DocsExample : public testing::TestWithParam<std::string> {};

// docs/examples/NAME.ini prints NAME.out and, on standard error, NAME.err;
// with an "error: " there it ends with status 1, else 0.
TEST_P(DocsExample, PrintsWhatTheGuideShows) {
  const std::string base = examples + GetParam();
  const std::string expected_err = read_file(base + ".err");
  TempDir scratch;  // examples may write files where they run
  const int raw = std::system(("cd " + scratch.path + " && " + clean_env + VANTREL_BINARY_DIR +
                               "/tools/vantrel-config --name myhost --logdir /var/log/myhost"
                               " --configfile /etc/myhost/myhost_trace.ini '" +
                               base + ".ini' > .out 2> .err")
                                  .c_str());
  EXPECT_EQ(read_file(scratch.path + "/.out"), read_file(base + ".out"));
  EXPECT_EQ(read_file(scratch.path + "/.err"), expected_err);
  EXPECT_EQ(WEXITSTATUS(raw), expected_err.find("error: ") != std::string::npos ? 1 : 0);
  if (GetParam() == "channels") {
    EXPECT_EQ(read_file(scratch.path + "/check.txt"), "this line goes to check.txt\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Guide, DocsExample, testing::ValuesIn(stems(examples, ".ini")));

// The fenced block (```) after `from`; `from` moves past its closing fence.
std::string next_fenced_block(const std::string& page, std::size_t& from) {
  const std::size_t body = page.find('\n', page.find("\n```", from) + 1);
  const std::size_t close = page.find("\n```", body);
  if (body == std::string::npos || close == std::string::npos) return "(no block)";
  from = close + 4;
  return page.substr(body + 1, close - body);
}

// "<!-- example: NAME -->" is followed by the example and its output,
// "<!-- file: NAME -->" by the file; every example is on some page.
TEST(DocsPages, ShowExamplesAndFilesAsKept) {
  std::vector<std::string> unshown = stems(examples, ".ini");
  for (const std::string& page_name : stems(VANTREL_SOURCE_DIR "/docs/", ".md")) {
    const std::string page = read_file(VANTREL_SOURCE_DIR "/docs/" + page_name + ".md");
    for (const std::string kind : {"example", "file"}) {
      const std::string head = "<!-- " + kind + ": ";
      for (std::size_t at = page.find(head); at != std::string::npos; at = page.find(head, at)) {
        const std::size_t end = page.find(" -->", at);
        const std::string name = page.substr(at + head.size(), end - at - head.size());
        at = end;
        SCOPED_TRACE(page_name + ": " + name);
        const std::string file = examples + name + (kind == "file" ? "" : ".ini");
        EXPECT_EQ(next_fenced_block(page, at), read_file(file));
        if (kind == "file") continue;
        EXPECT_EQ(next_fenced_block(page, at),
                  read_file(examples + name + ".out") + read_file(examples + name + ".err"));
        unshown.erase(std::remove(unshown.begin(), unshown.end(), name), unshown.end());
      }
    }
  }
  EXPECT_EQ(unshown, std::vector<std::string>{}) << "examples on no page of the guide";
}

}  // namespace
