// A host killed with SIGKILL while it writes: every record whose logger had
// ended is in the log, whole and once; XML files are whole documents but for
// the last one's end tag.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <regex>
#include <set>

#include "src/logfile_support.h"
#include "stress/xml_records.h"

namespace {

using logfile_support::TempDir;

// Runs the host writing into `logs`, kills it with SIGKILL once it reported
// record `at_least` ended; returns the last record it reported ended.
unsigned long write_then_kill(const TempDir& logs, bool xml, unsigned long at_least) {
  const std::string command =
      "echo $$; exec env QZ_TRACE_LOGDIR=" + logs.path +
      " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini QZ_TRACE_XML=" + (xml ? "1 " : "0 ") +
      VANTREL_TEST_HOSTS_DIR + "/host_reliability_crash 7";
  FILE* reports = ::popen(command.c_str(), "r");
  pid_t pid = 0;
  unsigned long last = 0;
  if (!reports || std::fscanf(reports, "%d", &pid) != 1) return 0;
  for (unsigned long n; last < at_least && std::fscanf(reports, "%lu", &n) == 1;) last = n;
  ::kill(pid, SIGKILL);
  for (unsigned long n; std::fscanf(reports, "%lu", &n) == 1;) last = n;  // ended before the kill
  const int status = ::pclose(reports);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
  return last;
}

// The record texts of every file: the file being written when the host died
// ends after the last Msg end tag, where its root's end tag goes.
std::vector<std::string> record_texts(const TempDir& logs, bool xml) {
  if (!xml) return logs.all_texts();
  std::vector<std::pair<unsigned long, std::string>> records;
  for (const std::string& file : logs.files()) {
    std::string document = logfile_support::read_file(logs.path + "/" + file);
    const std::size_t end = document.rfind("</Msg>");
    if (file == logs.files().back() && end == std::string::npos) continue;  // none ended
    if (file == logs.files().back()) document = document.substr(0, end + 6) + "\n</Vantrel>\n";
    EXPECT_TRUE(add_xml_records(document, records)) << file << " is not well-formed";
  }
  std::vector<std::string> texts;
  for (const auto& record : records) texts.push_back(record.second);
  return texts;
}

TEST(CrashDurabilityTest, RecordsOfEndedLoggersSurviveSigkillInTextAndXml) {
  for (bool xml : {false, true}) {
    SCOPED_TRACE(xml ? "xml" : "text");
    TempDir logs;
    const unsigned long last = write_then_kill(logs, xml, 300);
    ASSERT_GE(last, 300ul);
    std::set<unsigned long> seen;
    for (const std::string& text : record_texts(logs, xml)) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(text, m, std::regex(R"(\s*c(\d+)\s*)")))
          << "torn '" << text << "'";
      EXPECT_TRUE(seen.insert(std::stoul(m[1])).second) << text << " twice";
    }
    for (unsigned long n = 1; n <= last; ++n) ASSERT_EQ(seen.count(n), 1u) << "c" << n << " lost";
  }
}

}  // namespace
