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

// The host reports each record whose logger ended; it is killed once it
// reported the 300th, and what it reported before it died counts too. The XML
// file it was writing ends after the last Msg end tag, where the root's goes.
TEST(CrashDurabilityTest, RecordsOfEndedLoggersSurviveSigkillInTextAndXml) {
  for (bool xml : {false, true}) {
    SCOPED_TRACE(xml ? "xml" : "text");
    logfile_support::TempDir logs;
    const std::string command =
        "echo $$; exec env QZ_TRACE_LOGDIR=" + logs.path +
        " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini QZ_TRACE_XML=" + (xml ? "1 " : "0 ") +
        VANTREL_TEST_HOSTS_DIR + "/host_reliability_crash 7";
    FILE* reports = ::popen(command.c_str(), "r");
    pid_t pid = 0;
    unsigned long last = 0;
    ASSERT_TRUE(reports && std::fscanf(reports, "%d", &pid) == 1);
    for (unsigned long n; last < 300 && std::fscanf(reports, "%lu", &n) == 1;) last = n;
    ::kill(pid, SIGKILL);
    for (unsigned long n; std::fscanf(reports, "%lu", &n) == 1;) last = n;  // ended before the kill
    const int status = ::pclose(reports);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    std::vector<std::pair<unsigned long, std::string>> records;
    for (const std::string& text : xml ? std::vector<std::string>() : logs.all_texts())
      records.emplace_back(0, text);
    for (const std::string& file : xml ? logs.files() : std::vector<std::string>()) {
      std::string document = logfile_support::read_file(logs.path + "/" + file);
      const std::size_t end = document.rfind("</Msg>");
      if (file == logs.files().back() && end == std::string::npos) continue;  // none ended
      if (file == logs.files().back()) document = document.substr(0, end + 6) + "\n</Vantrel>\n";
      EXPECT_TRUE(add_xml_records(document, records)) << file << " is not well-formed";
    }
    std::set<unsigned long> seen;
    for (const auto& record : records) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(record.second, m, std::regex(R"(\s*c(\d+)\s*)")))
          << "torn '" << record.second << "'";
      EXPECT_TRUE(seen.insert(std::stoul(m[1])).second) << record.second << " twice";
    }
    for (unsigned long n = 1; n <= last; ++n) ASSERT_EQ(seen.count(n), 1u) << "c" << n << " lost";
  }
}

}  // namespace
