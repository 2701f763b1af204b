// Writer threads on one destination while another thread edits the settings
// and rewrites the configuration file re-read at every message, turn about.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "src/logfile_support.h"
#include "stress/xml_records.h"

namespace {

constexpr int writer_count = 4;
constexpr int messages_per_writer = 1500;

// Full files are kept; the source line carries the whole rank.
const std::string settings_text =
    "active = true; keep = true; display_mask = debug_mask | rank_mask; size = ";

// One round of administration; the first edit after pulling was on starts
// from the default record, so it sets every field that the checks rely on.
void edit_round(int round, const std::string& logdir) {
  Vantrel::Admin::config(settings_text + std::to_string(10 + round % 7) + ";");
  Vantrel::Admin::active(true);
  Vantrel::Admin::keep(true);
  Vantrel::Admin::size(10 + round % 5);
  Vantrel::Admin::importance(Vantrel::XS);
  if (round % 3 == 0) {
    Vantrel::Admin::is_active(std::make_unique<Vantrel::Admin::IsActive>());  // a host's own rule
    Vantrel::Admin::is_active(nullptr);
  }
  if (round % 10 == 0) Vantrel::Admin::logdir(logdir);  // a fresh file object
  (void)Vantrel::Admin::config();  // readers of the settings race with the writers too
  (void)Vantrel::Admin::logdir();
  Vantrel::Admin::period(SimpleTime::Duration::Zero);  // pulling on, re-read at every message
}

class StressTest : public testing::TestWithParam<const char*> {};

// Every XML file is a whole document; a text file alternates the source line
// "file:line: this is Vantrel message <rank>" and the record line whose last
// column is the message. Ranks run without a gap or a repeat (earlier cases
// of the process may have taken ranks before), and every writer's messages
// are there once, in order.
TEST_P(StressTest, RecordsSurviveConcurrentEditsAndRereads) {
  logfile_support::TempDir logs, configs;
  const std::string config_path = configs.path + "/stress_trace.ini";
  Vantrel::Admin::logext(GetParam());
  std::ofstream(config_path) << settings_text << "10;\n";
  Vantrel::Admin::configfile(config_path);
  edit_round(0, logs.path);
  std::atomic<bool> writing{true};  // relaxed: only ends the helper loops
  std::thread editor([&] {
    for (int round = 1; writing.load(std::memory_order_relaxed); ++round) {
      edit_round(round, logs.path);
      std::ofstream(config_path, std::ios::trunc) << settings_text << 10 + round % 9 << ";\n";
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  std::vector<std::thread> writers;  // each writes "w<writer>-<number>"
  for (int w = 0; w < writer_count; ++w)
    writers.emplace_back([w] {
      for (int i = 0; i < messages_per_writer; ++i) VANTREL_LOG(Vantrel::M) << 'w' << w << '-' << i;
    });
  for (std::thread& writer : writers) writer.join();
  writing.store(false, std::memory_order_relaxed);
  editor.join();
  Vantrel::Admin::logdir(config_path + ".closed");  // a new file object closes the last file
  std::vector<std::pair<unsigned long, std::string>> records;
  const std::regex source(R"(.*:\d+: this is Vantrel message (\d+))");
  for (const std::string& file : logs.files()) {
    if (GetParam() == std::string("xml")) {
      EXPECT_TRUE(add_xml_records(logfile_support::read_file(logs.path + "/" + file), records))
          << file << " is not well-formed";
      continue;
    }
    const std::vector<std::string> lines = logs.lines(file);
    for (std::size_t i = 0; i < lines.size(); i += 2) {
      std::smatch m;
      ASSERT_TRUE(std::regex_match(lines[i], m, source) && i + 1 < lines.size())
          << file << ": torn line '" << lines[i] << "'";
      records.emplace_back(std::stoul(m[1]), lines[i + 1].substr(lines[i + 1].rfind('|') + 1));
    }
  }
  EXPECT_GT(logs.files().size(), 10u);  // small files: rotation happened throughout
  ASSERT_EQ(records.size(), static_cast<std::size_t>(writer_count * messages_per_writer));
  std::sort(records.begin(), records.end());
  std::vector<int> next(writer_count, 0);
  const std::regex message(R"(\s*w(\d)-(\d+)\s*)");
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::smatch m;
    ASSERT_EQ(records[i].first, records[0].first + i) << "rank lost or repeated";
    ASSERT_TRUE(std::regex_match(records[i].second, m, message)) << "torn " << records[i].second;
    EXPECT_EQ(std::stoi(m[2]), next.at(std::stoul(m[1]))++) << "out of order " << m[0];
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, StressTest, testing::Values("log", "xml"));

}  // namespace
