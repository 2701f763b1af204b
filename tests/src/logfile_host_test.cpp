// Log files through the whole message path, in a fresh process with its own
// environment: rotation, the inactive-settings close and append, the
// extension fallback and screen output.
#include <dirent.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

using ::testing::ElementsAre;

struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/vantrel_logfile_host_XXXXXX";
    path = ::mkdtemp(pattern);
  }
  ~TempDir() {
    for (const std::string& file : files()) std::remove((path + "/" + file).c_str());
    ::rmdir(path.c_str());
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
      while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(entry->d_name);
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> texts(const std::string& file) const {
    std::ifstream in(path + "/" + file);
    std::vector<std::string> result;
    for (std::string line; std::getline(in, line);)
      result.push_back(line.substr(line.rfind('|') + 1));
    return result;
  }
};

// Runs the writer host with `env` prepended; returns its standard output.
std::string run_writer(const std::string& env, const std::string& args, int* status) {
  const std::string command = env + " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini " +
                              VANTREL_TEST_HOSTS_DIR + "/host_logfile_writer " + args;
  FILE* child = ::popen(command.c_str(), "r");
  std::string output;
  char buffer[4096];
  for (std::size_t n; child && (n = std::fread(buffer, 1, sizeof buffer, child)) > 0;)
    output.append(buffer, n);
  *status = child ? ::pclose(child) : -1;
  return output;
}

std::vector<std::string> texts_of(const std::string& output) {
  std::vector<std::string> texts;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);)
    if (std::regex_search(line, std::regex(R"(\|m\d+$)")))
      texts.push_back(line.substr(line.rfind('|') + 1));
  return texts;
}

TEST(LogFileHost, SizeThreeWithoutKeepLeavesTwoFiles) {
  TempDir dir;
  int status = 0;
  run_writer("QZ_TRACE_NAME=db QZ_TRACE_LOGDIR=" + dir.path, "rotate 8 3 0", &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_THAT(dir.texts(files[0]), ElementsAre("m4", "m5", "m6"));
  EXPECT_THAT(dir.texts(files[1]), ElementsAre("m7", "m8"));
  EXPECT_TRUE(
      std::regex_match(files[0], std::regex(R"(host_logfile_writer_db_\d+_.*_trace\.log)")));
}

TEST(LogFileHost, SizeThreeWithKeepKeepsEveryRecordInOrder) {
  TempDir dir;
  int status = 0;
  run_writer("QZ_TRACE_LOGDIR=" + dir.path, "rotate 8 3 1", &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 3u);
  std::vector<std::string> all;
  for (const std::string& file : files)
    for (const std::string& text : dir.texts(file)) all.push_back(text);
  EXPECT_THAT(all, ElementsAre("m1", "m2", "m3", "m4", "m5", "m6", "m7", "m8"));
  // Named after the process alone when the destination takes its name.
  EXPECT_TRUE(std::regex_match(files[0], std::regex(R"(host_logfile_writer_\d+_.*_trace\.log)")));
}

TEST(LogFileHost, InactiveSettingsCloseAfterEachAssertAndAppend) {
  TempDir dir;
  int status = 0;
  const std::string output =
      run_writer("QZ_TRACE_ECHO=1 QZ_TRACE_LOGDIR=" + dir.path, "asserts 3", &status);
  ASSERT_EQ(status, 0);
  const std::vector<std::string> files = dir.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_THAT(dir.texts(files[0]), ElementsAre("m1", "m2", "m3"));
  const std::string path = dir.path + "/" + files[0];
  std::size_t closes = 0, reopens = 0;
  for (std::size_t at = 0;
       (at = output.find("close because config is not active", at)) != std::string::npos; ++at)
    ++closes;
  for (std::size_t at = 0; (at = output.find("re-opened '" + path + "'", at)) != std::string::npos;
       ++at)
    ++reopens;
  EXPECT_EQ(closes, 3u);
  EXPECT_EQ(reopens, 2u);
}

TEST(LogFileHost, ExtensionSelectsTheFileKind) {
  struct Case {
    const char* ext;
    const char* env;
    const char* suffix;
  };
  const Case cases[] = {{"txt", "", "_trace.log"},
                        {"txt", "QZ_TRACE_XML=1", "_trace.xml"},
                        {"LOG", "QZ_TRACE_XML=1", "_trace.xml"},
                        {"log", "QZ_TRACE_XML=1", "_trace.log"},
                        {"xml", "", "_trace.xml"}};
  for (const Case& c : cases) {
    TempDir dir;
    int status = 0;
    run_writer(std::string(c.env) + " QZ_TRACE_LOGDIR=" + dir.path,
               std::string("device 1 ") + c.ext, &status);
    ASSERT_EQ(status, 0);
    ASSERT_EQ(dir.files().size(), 1u) << c.ext << " " << c.env;
    const std::string file = dir.files()[0];
    EXPECT_EQ(file.substr(file.size() - 10), c.suffix) << c.ext << " " << c.env;
    EXPECT_NE(file.find("_db_"), std::string::npos) << file;
  }
}

TEST(LogFileHost, ScreenOutputWritesNoFile) {
  TempDir dir;
  int status = 0;
  const std::string output =
      run_writer("QZ_TRACE_TO_SCREEN=1 QZ_TRACE_LOGDIR=" + dir.path, "rotate 5 2 0", &status);
  ASSERT_EQ(status, 0);
  EXPECT_THAT(texts_of(output), ElementsAre("m1", "m2", "m3", "m4", "m5"));
  EXPECT_TRUE(dir.files().empty());
}

}  // namespace
