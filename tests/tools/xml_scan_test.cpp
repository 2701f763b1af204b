// The XML log reader's scanner against expat alone: for the XML logs of the
// tool's cases, and for thousands of damaged copies of them, both readers
// give the same records and report the same problems at the same lines.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "src/logfile_support.h"
#include "tools/timeline/LogReader.h"
#include "tools/tool_cases.h"
#include "zeltools/cases_support.h"

namespace {

using namespace logfile_support;

class Transcript : public Timeline::RecordSink {
 public:
  std::string text;
  void record(const Timeline::Record& r) override {
    char head[200];
    std::snprintf(head, sizeof head, "%zu %d %.3f %lld %llu %d %c %d %d %llu|", r.line,
                  static_cast<int>(r.tag), r.time_ms, static_cast<long long>(r.pid),
                  static_cast<unsigned long long>(r.tid), r.level, r.severity, r.exception,
                  r.has_rank, static_cast<unsigned long long>(r.rank));
    const Timeline::RecordContext& c = r.context;
    text += head + r.text + "|" + c.root + "|" + c.caller + "|" + c.callee + "|" + c.user + "|" +
            c.architect + "|" + c.developer + "|" + c.consultant + "|" + r.source + "\n";
  }
  void process_name(std::int64_t, const std::string&) override {}
};

// The records and problems `reader` finds in `bytes`.
std::string read_with(decltype(&Timeline::read_xml_log) reader, std::string bytes) {
  char* problems = nullptr;
  std::size_t size = 0;
  std::FILE* out = ::open_memstream(&problems, &size);
  Transcript transcript;
  {
    Timeline::Diagnostics diagnostics(out);
    std::FILE* in = ::fmemopen(bytes.data(), bytes.size(), "r");
    reader(in, "log.xml", transcript, diagnostics);
    std::fclose(in);
  }
  std::fclose(out);
  std::string result = transcript.text + "--\n" + problems;
  std::free(problems);
  return result;
}

// XML logs: a host's, written by the library, a long one made of its
// records, and the XML inputs ("=== file" sections) of the tool's cases.
std::vector<std::string> xml_logs() {
  TempDir host;
  tool_cases::run_host(host, "host_timeline_work", true);
  std::vector<std::string> logs{read_file(host.path + "/" + host.files().at(0))};
  const std::size_t first = logs[0].find("<Msg"), last = logs[0].rfind("</Vantrel>");
  std::string many = logs[0].substr(0, first);
  while (many.size() < (3u << 20)) many += logs[0].substr(first, last - first);
  logs.push_back(many + logs[0].substr(last));
  for (const char* name : {"broken_xml", "cut_off_xml", "hostile", "two_processes"})
    for (const auto& [head, body] : tool_cases::case_sections(name))
      if (head.compare(0, 5, "file ") == 0 && body.compare(0, 1, "<") == 0)
        logs.push_back(cases::unescape(body));
  return logs;
}

const std::vector<cases::Fields> pieces = cases::read("tools/cases/xml_damage.rows");

// A copy of `bytes` cut short, with bytes changed, spans removed or pieces
// of tools/cases/xml_damage.rows put in.
std::string damaged(std::string bytes, std::mt19937& random) {
  for (int change = random() % 3; change >= 0 && !bytes.empty(); --change) {
    const std::size_t at = random() % bytes.size();
    const unsigned how = random() % 4;
    if (how == 0) bytes.resize(at);
    if (how == 1) bytes[at] = static_cast<char>(random());
    if (how == 2) bytes.erase(at, random() % 40);
    if (how == 3) bytes.insert(at, pieces[random() % pieces.size()][0]);
  }
  return bytes;
}

void expect_same_reading(const std::string& bytes) {
  ASSERT_EQ(read_with(&Timeline::read_xml_log, bytes),
            read_with(&Timeline::read_xml_log_with_expat, bytes))
      << "input:\n"
      << bytes.substr(0, 4000);
}

TEST(XmlScan, ReadsWhatExpatReads) {
  const std::vector<std::string> documents = xml_logs();
  // Every piece in an attribute value, in a record's text, between records.
  const std::string& host = documents[0];
  for (const cases::Fields& piece : pieces)
    for (const std::size_t at :
         {host.find("User=\"") + 6, host.find("\n</Msg>"), host.find("</Msg>") + 6})
      expect_same_reading(std::string(host).insert(at, piece[0]));
  std::mt19937 random(20261206);
  for (const std::string& document : documents)
    for (int variant = 0; variant < (document.size() < 100000 ? 200 : 3); ++variant)
      expect_same_reading(variant == 0 ? document : damaged(document, random));
}

}  // namespace
