// Many writer threads on one destination while an editor changes the
// settings through Vantrel::Admin and another thread rewrites the
// configuration file that is re-read at every message. Afterwards every
// record is in exactly one file, whole, and the ranks run without a gap.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "src/logfile_support.h"

namespace {

using logfile_support::TempDir;

constexpr int writer_count = 4;
constexpr int messages_per_writer = 1500;

// Every text the settings ever get keeps full files and shows the source
// line, which carries the whole rank.
const char* const settings_text =
    "active = true; keep = true; display_mask = debug_mask | rank_mask; size = ";

void rewrite_config_file(const std::string& path, int size) {
  std::ofstream out(path, std::ios::trunc);
  out << settings_text << size << ";\n";
}

struct AcceptAll : Vantrel::Admin::IsActive {
  bool operator()(const Vantrel::Importance&, Vantrel::Logger::Tag, const Vantrel::Config&,
                  Vantrel::Context::Data*) const override {
    return true;
  }
};

// One round of administration; the first edit after pulling was on starts
// from the default record, so it sets every field that the checks rely on.
void edit_round(int round, const std::string& logdir) {
  Vantrel::Admin::config(settings_text + std::to_string(10 + round % 7) + ";");
  Vantrel::Admin::active(true);
  Vantrel::Admin::keep(true);
  Vantrel::Admin::size(10 + round % 5);
  Vantrel::Admin::importance(Vantrel::XS);
  if (round % 3 == 0) {
    Vantrel::Admin::is_active(std::make_unique<AcceptAll>());
    Vantrel::Admin::is_active(nullptr);
  }
  if (round % 10 == 0) Vantrel::Admin::logdir(logdir);  // a fresh file object
  (void)Vantrel::Admin::config();
  (void)Vantrel::Admin::logdir();
  Vantrel::Admin::period(SimpleTime::Duration::Zero);  // pulling on, re-read at every message
}

// Writers, the editor and the file rewriter at work together; returns the
// number of records written.
int run_workload(const TempDir& logs, const std::string& config_path, const char* extension) {
  Vantrel::Admin::logext(extension);
  Vantrel::Admin::logdir(logs.path);
  rewrite_config_file(config_path, 10);
  Vantrel::Admin::configfile(config_path);
  edit_round(0, logs.path);

  std::atomic<bool> writing{true};  // relaxed: only ends the helper loops
  std::thread editor([&] {
    for (int round = 1; writing.load(std::memory_order_relaxed); ++round) {
      edit_round(round, logs.path);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });
  std::thread rewriter([&] {
    for (int n = 0; writing.load(std::memory_order_relaxed); ++n) {
      rewrite_config_file(config_path, 10 + n % 9);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::vector<std::thread> writers;
  for (int w = 0; w < writer_count; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < messages_per_writer; ++i) VANTREL_LOG(Vantrel::M) << 'w' << w << '-' << i;
    });
  for (std::thread& writer : writers) writer.join();
  writing.store(false, std::memory_order_relaxed);
  editor.join();
  rewriter.join();
  // A new file object in another directory closes the last file.
  Vantrel::Admin::logdir(config_path + ".closed");
  return writer_count * messages_per_writer;
}

// The messages and ranks found, with everything that looked wrong.
struct Found {
  std::map<unsigned, std::string> text_of_rank;
  std::vector<std::string> problems;

  void add(unsigned rank, const std::string& text, const std::string& file) {
    if (!text_of_rank.emplace(rank, text).second)
      problems.push_back("rank " + std::to_string(rank) + " twice, again in " + file);
  }

  // Ranks first..first+count-1 each once (earlier cases of the process may
  // have taken ranks before), every writer's messages each once and in order.
  void check(int count) {
    EXPECT_EQ(text_of_rank.size(), static_cast<std::size_t>(count));
    const unsigned first = text_of_rank.empty() ? 1u : text_of_rank.begin()->first;
    const unsigned last = first + static_cast<unsigned>(count) - 1;
    if (!text_of_rank.empty()) {
      EXPECT_EQ(text_of_rank.rbegin()->first, last);
    }
    std::vector<int> next(writer_count, 0);
    const std::regex message(R"(w(\d+)-(\d+))");
    for (const auto& entry : text_of_rank) {
      std::smatch m;
      if (!std::regex_match(entry.second, m, message)) {
        problems.push_back("torn message '" + entry.second + "'");
        continue;
      }
      const int writer = std::stoi(m[1]);
      if (writer >= writer_count || std::stoi(m[2]) != next[writer]++)
        problems.push_back("out of order: " + entry.second);
    }
    for (int w = 0; w < writer_count; ++w) EXPECT_EQ(next[w], messages_per_writer) << w;
    for (unsigned rank = first; rank <= last; ++rank)
      if (text_of_rank.count(rank) == 0)
        problems.push_back("rank " + std::to_string(rank) + " lost");
    EXPECT_TRUE(problems.empty()) << problems.size() << " problems, first: " << problems[0];
  }
};

// A text file alternates the source line "file:line: this is Vantrel
// message <rank>" and the record line whose last column is the message.
void read_text_file(const TempDir& logs, const std::string& file, Found& found) {
  const std::regex source(R"(.*:\d+: this is Vantrel message (\d+))");
  const std::vector<std::string> lines = logs.lines(file);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::smatch m;
    if (!std::regex_match(lines[i], m, source) || i + 1 == lines.size()) {
      found.problems.push_back(file + ": torn line '" + lines[i] + "'");
      continue;
    }
    const std::string& record = lines[++i];
    found.add(static_cast<unsigned>(std::stoul(m[1])), record.substr(record.rfind('|') + 1), file);
  }
}

std::string trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \n") - first + 1);
}

// Every XML file is a whole document; each Msg gives its Rank and its text.
void read_xml_file(const TempDir& logs, const std::string& file, Found& found) {
  const std::string path = logs.path + "/" + file;
  xmlDoc* doc = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (doc == nullptr) {
    found.problems.push_back(file + " is not well-formed");
    return;
  }
  for (xmlNode* msg = xmlDocGetRootElement(doc)->children; msg; msg = msg->next) {
    if (msg->type != XML_ELEMENT_NODE) continue;
    xmlChar* rank = xmlGetProp(msg, reinterpret_cast<const xmlChar*>("Rank"));
    std::string text;
    for (xmlNode* child = msg->children; child; child = child->next)
      if (child->type == XML_TEXT_NODE) text += reinterpret_cast<const char*>(child->content);
    found.add(static_cast<unsigned>(std::stoul(reinterpret_cast<const char*>(rank))), trimmed(text),
              file);
    xmlFree(rank);
  }
  xmlFreeDoc(doc);
}

TEST(StressTest, TextRecordsSurviveConcurrentEditsAndRereads) {
  TempDir logs, configs;
  const int count = run_workload(logs, configs.path + "/stress_trace.ini", "log");
  Found found;
  for (const std::string& file : logs.files()) read_text_file(logs, file, found);
  found.check(count);
  EXPECT_GT(logs.files().size(), 10u);  // small files: rotation happened throughout
}

TEST(StressTest, XmlRecordsSurviveConcurrentEditsAndRereads) {
  TempDir logs, configs;
  const int count = run_workload(logs, configs.path + "/stress_trace.ini", "xml");
  Found found;
  for (const std::string& file : logs.files()) read_xml_file(logs, file, found);
  found.check(count);
  EXPECT_GT(logs.files().size(), 10u);
}

// A log file replaced (here by setting the directory again) within the
// millisecond in which the previous one named its file must not reuse, and so
// truncate, that file.
TEST(ReplacedLogFileTest, NewFileInTheSameMillisecondKeepsTheEarlierRecords) {
  TempDir logs;
  Vantrel::Admin::active(true);
  constexpr int records = 40;
  for (int i = 0; i < records; ++i) {
    Vantrel::Admin::logdir(logs.path);
    VANTREL_LOG(Vantrel::M) << "r" << i;
  }
  Vantrel::Admin::logdir(logs.path + "/closed");
  std::vector<std::string> texts = logs.all_texts();
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts.size(), static_cast<std::size_t>(records));
  EXPECT_EQ(std::unique(texts.begin(), texts.end()), texts.end());
}

}  // namespace
