// The guide's examples: what vantrel-config prints for each, and the pages
// that show them.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <regex>
#include <sstream>

#include "src/logfile_support.h"

namespace {

using logfile_support::read_file;

const std::string examples = VANTREL_SOURCE_DIR "/docs/examples/";

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
// with an "error: " there it ends with status 1, else 0. It runs without the
// calling environment (no QZ_TRACE_ or MYHOST_ variables).
TEST_P(DocsExample, PrintsWhatTheGuideShows) {
  const std::string base = examples + GetParam(), expected_err = read_file(base + ".err");
  logfile_support::TempDir scratch;  // examples may write files where they run
  const int raw = std::system(("cd " + scratch.path +
                               " && env -i " VANTREL_BINARY_DIR
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

// "<!-- example: NAME -->" is followed by fenced blocks (```) of the example
// and its output, "<!-- file: NAME -->" by one of the file; every example is
// on some page.
TEST(DocsPages, ShowExamplesAndFilesAsKept) {
  std::vector<std::string> unshown = stems(examples, ".ini");
  for (const std::string& page_name : stems(VANTREL_SOURCE_DIR "/docs/", ".md")) {
    const std::string page = read_file(VANTREL_SOURCE_DIR "/docs/" + page_name + ".md");
    std::size_t at = 0;
    const auto next_block = [&] {
      const std::size_t body = page.find('\n', page.find("\n```", at) + 1);
      const std::size_t close = page.find("\n```", body);
      if (body == std::string::npos || close == std::string::npos) return std::string("(no block)");
      at = close + 4;
      return page.substr(body + 1, close - body);
    };
    for (std::smatch m; std::regex_search(page.begin() + at, page.end(), m,
                                          std::regex("<!-- (example|file): (.*) -->"));) {
      at += m.position(0) + m.length(0);
      const std::string name = m[2];
      SCOPED_TRACE(page_name + ": " + name);
      EXPECT_EQ(next_block(), read_file(examples + name + (m[1] == "file" ? "" : ".ini")));
      if (m[1] == "file") continue;
      EXPECT_EQ(next_block(),
                read_file(examples + name + ".out") + read_file(examples + name + ".err"));
      unshown.erase(std::remove(unshown.begin(), unshown.end(), name), unshown.end());
    }
  }
  EXPECT_EQ(unshown, std::vector<std::string>{}) << "examples on no page of the guide";
}

}  // namespace
