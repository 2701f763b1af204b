// Every configuration example of the user guide (docs/examples/<name>.ini)
// runs through the built vantrel-config, and what it prints must equal the
// output the guide shows: <name>.out for the standard output and, when the
// example writes to the standard error, <name>.err. An example whose .err
// holds an "error: " line must end with status 1, every other with status 0.
//
// The tool runs in a fresh scratch directory (examples may create files
// there), with the destination names the guide assumes and without the
// QZ_TRACE_ and MYHOST_ variables of the calling environment.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "src/logfile_support.h"

namespace {

const std::string examples_dir = VANTREL_SOURCE_DIR "/docs/examples";
const std::string tool = VANTREL_BINARY_DIR "/tools/vantrel-config";

// The names every example is run with; the guide's outputs show these.
const std::string tool_options =
    " --name myhost --logdir /var/log/myhost --configfile /etc/myhost/myhost_trace.ini ";
const std::string clean_env =
    "env -u QZ_TRACE_NAME -u QZ_TRACE_LOGDIR -u QZ_TRACE_CONFIGDIR -u QZ_TRACE_CONFIGFILE"
    " -u QZ_TRACE_ECHO -u MYHOST_TRACE -u MYHOST_DEPLOY ";

using logfile_support::read_file;

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// The stems of docs/examples/*.ini, sorted.
std::vector<std::string> example_names() {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(examples_dir.c_str())) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string file = entry->d_name;
      const std::string suffix = ".ini";
      if (file.size() > suffix.size() &&
          file.compare(file.size() - suffix.size(), suffix.size(), suffix) == 0)
        names.push_back(file.substr(0, file.size() - suffix.size()));
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The text of the fenced block (```) that starts after `from`, with `from`
// moved past its closing fence; "" with `from` at npos when there is none.
std::string next_fenced_block(const std::string& page, std::size_t& from) {
  const std::size_t open = page.find("\n```", from);
  if (open == std::string::npos) return from = std::string::npos, "";
  const std::size_t body = page.find('\n', open + 1);
  const std::size_t close = page.find("\n```", body);
  if (body == std::string::npos || close == std::string::npos) return from = std::string::npos, "";
  from = close + 4;
  return page.substr(body + 1, close - body);
}

// The pages of the guide: docs/*.md.
std::vector<std::string> guide_pages() {
  std::vector<std::string> pages;
  if (DIR* dir = ::opendir(VANTREL_SOURCE_DIR "/docs")) {
    while (const dirent* entry = ::readdir(dir)) {
      const std::string file = entry->d_name;
      if (file.size() > 3 && file.compare(file.size() - 3, 3, ".md") == 0)
        pages.push_back(VANTREL_SOURCE_DIR "/docs/" + file);
    }
    ::closedir(dir);
  }
  std::sort(pages.begin(), pages.end());
  return pages;
}

// The names after each "<!-- kind: NAME -->" marker of a page, with the
// position after the marker.
std::vector<std::pair<std::string, std::size_t>> markers(const std::string& page,
                                                         const std::string& kind) {
  std::vector<std::pair<std::string, std::size_t>> found;
  const std::string head = "<!-- " + kind + ": ";
  for (std::size_t at = page.find(head); at != std::string::npos; at = page.find(head, at)) {
    const std::size_t end = page.find(" -->", at);
    if (end == std::string::npos) break;
    found.emplace_back(page.substr(at + head.size(), end - at - head.size()), end);
    at = end;
  }
  return found;
}

struct ToolRun {
  int status = -1;
  std::string out;
  std::string err;
};

// A scratch directory of its own for each run, removed afterwards.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = testing::TempDir() + "vantrel_docs_XXXXXX";
    if (::mkdtemp(&pattern[0])) path_ = pattern;
  }
  ~ScratchDir() {
    if (!path_.empty()) std::system(("rm -rf '" + path_ + "'").c_str());
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

ToolRun run_example(const std::string& name, const ScratchDir& scratch) {
  const std::string out_path = scratch.path() + "/stdout";
  const std::string err_path = scratch.path() + "/stderr";
  const std::string command = "cd '" + scratch.path() + "' && " + clean_env + tool + tool_options +
                              "'" + examples_dir + "/" + name + ".ini' > '" + out_path + "' 2> '" +
                              err_path + "'";
  ToolRun run;
  const int raw = std::system(command.c_str());
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  return run;
}

class DocsExampleTest : public testing::TestWithParam<std::string> {};

TEST_P(DocsExampleTest, PrintsWhatTheGuideShows) {
  ASSERT_EQ(::access(tool.c_str(), X_OK), 0) << "build the vantrel-config tool first: " << tool;
  const std::string base = examples_dir + "/" + GetParam();
  ASSERT_TRUE(exists(base + ".out")) << "no expected output beside " << base << ".ini";
  const std::string expected_err = exists(base + ".err") ? read_file(base + ".err") : "";

  ScratchDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  const ToolRun run = run_example(GetParam(), scratch);

  EXPECT_EQ(run.out, read_file(base + ".out"));
  EXPECT_EQ(run.err, expected_err);
  const bool fails = expected_err.find("error: ") != std::string::npos;
  EXPECT_EQ(run.status, fails ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(Guide, DocsExampleTest, testing::ValuesIn(example_names()),
                         [](const testing::TestParamInfo<std::string>& info) {
                           std::string id = info.param;
                           std::replace(id.begin(), id.end(), '-', '_');
                           return id;
                         });

// Output files beside an example that does not exist would be stale text.
TEST(DocsExamples, EveryExpectedOutputHasItsExample) {
  const std::vector<std::string> names = example_names();
  ASSERT_FALSE(names.empty()) << "no examples in " << examples_dir;
  DIR* dir = ::opendir(examples_dir.c_str());
  ASSERT_NE(dir, nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string file = entry->d_name;
    const std::size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot == 0) continue;
    const std::string ext = file.substr(dot);
    if (ext != ".out" && ext != ".err") continue;
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), file.substr(0, dot)))
        << file << " has no .ini beside it";
  }
  ::closedir(dir);
}

// The channel example's redirection really writes its file.
TEST(DocsExamples, ChannelExampleWritesItsFile) {
  ASSERT_EQ(::access(tool.c_str(), X_OK), 0) << tool;
  ScratchDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  run_example("channels", scratch);
  EXPECT_EQ(read_file(scratch.path() + "/check.txt"), "this line goes to check.txt\n");
}

// A page shows an example as its file and the output kept beside it, so a
// page cannot drift from what the tool prints.
TEST(DocsPages, ShowExamplesAndOutputsAsKept) {
  std::vector<std::string> shown;
  for (const std::string& path : guide_pages()) {
    const std::string page = read_file(path);
    for (auto [name, at] : markers(page, "example")) {
      const std::string base = examples_dir + "/" + name;
      EXPECT_EQ(next_fenced_block(page, at), read_file(base + ".ini")) << path << ": " << name;
      const std::string output =
          read_file(base + ".out") + (exists(base + ".err") ? read_file(base + ".err") : "");
      EXPECT_EQ(next_fenced_block(page, at), output) << path << ": output of " << name;
      shown.push_back(name);
    }
    for (auto [file, at] : markers(page, "file")) {
      EXPECT_TRUE(exists(examples_dir + "/" + file)) << path << ": " << file;
      EXPECT_EQ(next_fenced_block(page, at), read_file(examples_dir + "/" + file))
          << path << ": " << file;
    }
  }
  // Every example is shown with its output somewhere in the guide.
  for (const std::string& name : example_names())
    EXPECT_TRUE(std::find(shown.begin(), shown.end(), name) != shown.end())
        << name << ".ini is on no page of the guide";
}

// The guide's worked host traces 2,403 records into XML files of 1,000
// records each and keeps every file: three complete documents.
TEST(DocsHosts, OrdersHostKeepsEveryFileOfAThousandRecords) {
  const std::string host = VANTREL_TEST_HOSTS_DIR "/host_docs_orders";
  ASSERT_EQ(::access(host.c_str(), X_OK), 0) << host;
  ScratchDir scratch;
  ASSERT_FALSE(scratch.path().empty());
  const std::string command = "cd '" + scratch.path() + "' && " + clean_env +
                              " -u QZ_TRACE_XML -u QZ_TRACE_TO_SCREEN QZ_TRACE_LOGDIR=logs" +
                              " sh -c 'mkdir logs && exec \"$0\"' '" + host + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);

  std::vector<std::string> files;
  if (DIR* dir = ::opendir((scratch.path() + "/logs").c_str())) {
    while (const dirent* entry = ::readdir(dir))
      if (entry->d_name[0] != '.') files.push_back(entry->d_name);
    ::closedir(dir);
  }
  std::sort(files.begin(), files.end());  // names sort by creation time
  ASSERT_EQ(files.size(), 3u);
  const std::size_t expected[] = {1000, 1000, 403};
  for (std::size_t i = 0; i < files.size(); ++i) {
    EXPECT_EQ(files[i].rfind("host_docs_orders_", 0), 0u) << files[i];
    const std::string document = read_file(scratch.path() + "/logs/" + files[i]);
    std::size_t records = 0;
    for (std::size_t at = document.find("<Msg\n"); at != std::string::npos;
         at = document.find("<Msg\n", at + 1))
      ++records;
    EXPECT_EQ(records, expected[i]) << files[i];
    const std::string end_tag = "</Vantrel>\n";
    EXPECT_TRUE(document.size() >= end_tag.size() &&
                document.compare(document.size() - end_tag.size(), end_tag.size(), end_tag) == 0)
        << files[i] << " is not a complete document";
  }
}

}  // namespace
