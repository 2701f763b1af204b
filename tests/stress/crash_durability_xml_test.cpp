// A host killed with SIGKILL while it writes: every record whose logger had
// ended is in the log, whole. Text files hold whole lines; XML files hold
// complete Msg elements up to the last ended record (only the root's end tag
// of the last file is missing).
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "src/logfile_support.h"

namespace {

using logfile_support::TempDir;

// Runs the crash host with the environment `env` ("NAME=value" entries),
// reads the numbers it reports until one reaches `at_least`, then kills it
// with SIGKILL. Returns the last reported number: that record had ended.
unsigned long write_then_kill(const std::vector<std::string>& env, unsigned long at_least) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) return 0;
  const std::string host = std::string(VANTREL_TEST_HOSTS_DIR) + "/host_reliability_crash";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipe_fds[1], 1);
    ::close(pipe_fds[0]);
    for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
    ::execl(host.c_str(), host.c_str(), "7", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(pipe_fds[1]);
  FILE* reports = ::fdopen(pipe_fds[0], "r");
  unsigned long last = 0;
  for (unsigned long n; last < at_least && std::fscanf(reports, "%lu", &n) == 1;) last = n;
  ::kill(pid, SIGKILL);
  // Reports written before the kill are of ended records too.
  for (unsigned long n; std::fscanf(reports, "%lu", &n) == 1;) last = n;
  std::fclose(reports);
  int status = 0;
  ::waitpid(pid, &status, 0);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
  return last;
}

std::vector<std::string> host_env(const TempDir& logs, bool xml) {
  std::vector<std::string> env = {"QZ_TRACE_LOGDIR=" + logs.path,
                                  "QZ_TRACE_CONFIGFILE=/nonexistent/none.ini"};
  if (xml) env.push_back("QZ_TRACE_XML=1");
  return env;
}

// Records "c1" .. "c<last>" each found once; records after them may be there.
void expect_records_up_to(std::vector<std::string> texts, unsigned long last) {
  std::set<unsigned long> seen;
  const std::regex record(R"(c(\d+))");
  for (const std::string& text : texts) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(text, m, record)) << "torn record '" << text << "'";
    EXPECT_TRUE(seen.insert(std::stoul(m[1])).second) << text << " twice";
  }
  for (unsigned long n = 1; n <= last; ++n) ASSERT_EQ(seen.count(n), 1u) << "c" << n << " lost";
}

TEST(CrashDurabilityTest, TextRecordsOfEndedLoggersSurviveSigkill) {
  TempDir logs;
  const unsigned long last = write_then_kill(host_env(logs, false), 300);
  ASSERT_GE(last, 300ul);
  expect_records_up_to(logs.all_texts(), last);
}

using logfile_support::read_file;

// The Msg texts of a document; false when it is not well-formed.
bool msg_texts(const std::string& document, std::vector<std::string>& texts) {
  xmlDoc* doc = xmlReadMemory(document.data(), static_cast<int>(document.size()), "log.xml",
                              nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) return false;
  for (xmlNode* msg = xmlDocGetRootElement(doc)->children; msg; msg = msg->next) {
    if (msg->type != XML_ELEMENT_NODE) continue;
    std::string text;
    for (xmlNode* child = msg->children; child; child = child->next)
      if (child->type == XML_TEXT_NODE) text += reinterpret_cast<const char*>(child->content);
    text.erase(std::remove(text.begin(), text.end(), '\n'), text.end());
    texts.push_back(text);
  }
  xmlFreeDoc(doc);
  return true;
}

TEST(CrashDurabilityTest, XmlFilesHoldWholeMsgElementsUpToTheLastEndedRecord) {
  TempDir logs;
  const unsigned long last = write_then_kill(host_env(logs, true), 300);
  ASSERT_GE(last, 300ul);
  const std::vector<std::string> files = logs.files();
  ASSERT_FALSE(files.empty());
  std::vector<std::string> texts;
  for (const std::string& file : files) {
    std::string document = read_file(logs.path + "/" + file);
    if (file == files.back()) {
      // The file being written when the host died: whole elements up to
      // the last end tag of a Msg, then the root's end tag is missing.
      const std::size_t end = document.rfind("</Msg>");
      if (end == std::string::npos) continue;  // no record of it had ended
      document = document.substr(0, end + 6) + "\n</Vantrel>\n";
    }
    EXPECT_TRUE(msg_texts(document, texts)) << file << " is not well-formed";
  }
  expect_records_up_to(texts, last);
}

}  // namespace
