// The XML log format: records byte for byte (cases/xml_records.txt, also
// closing for inactivity), well-formed documents whatever the bytes, and
// complete documents after rotation and at process exit (read back with
// libxml2, and xmllint for whole processes).
#include "LogFileXml.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "src/logfile_records.h"
#include "stress/xml_records.h"
#include "zeltools/cases_support.h"
#include "zeltools/native/ThreadId.h"

namespace Vantrel {
namespace {

using namespace logfile_support;

// An XML log file in a fresh directory, on the test clock.
struct XmlLog {
  explicit XmlLog(const std::string& name = "unit") : names(dir.path, name, "xml") {}
  void write(const std::string& message, RecordCase& c) { write_record(*file, c, ++rank, message); }
  // The text of its one file; `finish` ends the document first.
  std::string text(bool finish = false) {
    if (finish) file.reset();
    const std::vector<std::string> files = dir.files();
    return files.size() == 1 ? read_file(dir.path + "/" + files[0]) : "no single file";
  }
  TestClock clock;  // outlives the file, which reads it to the end
  TempDir dir;
  Names names;
  std::unique_ptr<LogFileXml> file = std::make_unique<LogFileXml>(names);
  RecordCase record;
  unsigned rank = 0;
};

void replace(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at))
    text.replace(at, from.size(), to);
}

// Each block is one document; a record's text is what it added to the file,
// with this run's path, process, ids and build as $FILE, $PROCESS, $PID,
// $TID and $BUILD.
TEST(LogFileXmlTest, CaseFile) {
  std::unique_ptr<XmlLog> log;
  std::size_t seen = 0;
  const auto end_document = [&] {
    if (log) {
      EXPECT_EQ(log->text(true).substr(seen), "</Vantrel>\n");
    }
  };
  const auto write = [&](RecordCase& c, const std::string& message, bool first) {
    if (first) {
      end_document();
      log.reset();  // its clock goes before the next one comes
      log = std::make_unique<XmlLog>();
      seen = 0;
    }
    log->write(message, c);
    std::string added = log->text().substr(seen);
    seen += added.size();
    replace(added, log->dir.path + "/" + log->dir.files()[0], "$FILE");
    replace(added, "\"" + ZelTools::Portable::Process().name() + "\"", "\"$PROCESS\"");
    replace(added, "Pid=\"" + std::to_string(::getpid()) + "\"", "Pid=\"$PID\"");
    replace(added, "Tid=\"" + std::to_string(ZelTools::Native::current_thread_id()) + "\"",
            "Tid=\"$TID\"");
    replace(added, build_identification(), "$BUILD");
    return added;
  };
  EXPECT_EQ(run_case_file("xml_records.txt", write), 27);
  end_document();
  EXPECT_TRUE(std::regex_match(
      build_identification(),
      std::regex(R"(Build (release|debug) at [A-Z][a-z]{2} [ 1-3]\d \d{4} \d\d:\d\d:\d\d on linux )"
                 R"((GCC \(__GNUC__ = \d+\)|Clang \(__clang_major__ = \d+\)))")));
}

// Every byte value but NUL, and ill-formed UTF-8, in every field a record
// shows (message, step names and ids, actors, source file, the destination's
// name in the file's own name): the document parses and keeps every record.
TEST(LogFileXmlTest, AnyBytesInEveryFieldKeepTheFileWellFormed) {
  std::string bytes = "\xc3 \xe2\x82 \xf0\x9f\x98 \xed\xa0\x80 \xc0\x80 \xef\xbf\xbe ]]> ";
  for (int byte = 1; byte < 256; ++byte) bytes += static_cast<char>(byte == '/' ? '_' : byte);
  XmlLog log(bytes.substr(0, 30) + bytes.substr(bytes.size() - 140));  // a name fits in 255 bytes
  const Context::SubFields fields{bytes, bytes};
  Context::Data& data = log.record.data;
  data.root = data.caller = data.callee = Context::StepFields(fields, fields);
  data.user = data.architect = data.developer = data.consultant = fields;
  log.record.context = true;
  log.record.source = bytes;
  for (int tag = 0; tag < 3; ++tag) {
    log.record.tag = tag;
    log.write(bytes, log.record);
  }
  const std::string text = log.text(true);
  std::vector<std::pair<unsigned long, std::string>> records;
  EXPECT_TRUE(add_xml_records(text, records)) << text;
  EXPECT_EQ(records.size(), 3u);
}

// Whole processes, run in the log directory: the documents the library leaves
// at exit, in files (the first one unlinked without keep) or on the screen
// (no file then), are each complete
// (xmllint agrees when installed), name their file and hold their ranks; the
// last record, written with its source, is whole.
TEST(LogFileXmlHostTest, EveryRotatedDocumentIsComplete) {
  const bool xmllint = std::system("command -v xmllint > /dev/null 2>&1") == 0;
  for (const cases::Fields& c : cases::read("src/cases/xml_rotation.txt")) {
    SCOPED_TRACE(c[1]);
    TempDir dir;
    int status = 0;
    const std::string screen =
        run("cd " + dir.path + " && env QZ_TRACE_XML=1 " + c[0] + " QZ_TRACE_LOGDIR=" + dir.path +
                " QZ_TRACE_CONFIGDIR=" + dir.path +
                " " VANTREL_TEST_HOSTS_DIR "/host_logfile_writer rotate " + c[1],
            &status);
    ASSERT_EQ(status, 0);
    std::vector<std::string> documents, names;
    for (const std::string& file : dir.files()) {
      EXPECT_TRUE(
          std::regex_match(file, std::regex("host_logfile_writer_\\d+_[0-9_]{23}_trace\\.xml")));
      names.push_back(dir.path + "/" + file);
      EXPECT_TRUE(!xmllint || std::system(("xmllint --noout '" + names.back() + "'").c_str()) == 0);
      documents.push_back(read_file(names.back()));
    }
    for (std::size_t at = screen.find("<?xml"), next; at != std::string::npos; at = next) {
      next = screen.find("<?xml", at + 1);
      documents.push_back(screen.substr(at, next - at));
    }
    names.resize(documents.size(), "ToScreen");
    std::string counts;
    unsigned long rank = std::stoul(c[3]);
    for (std::size_t d = 0; d < documents.size(); ++d) {
      std::vector<std::pair<unsigned long, std::string>> records;
      EXPECT_TRUE(add_xml_records(documents[d], records)) << documents[d];
      EXPECT_NE(documents[d].find("\nLogFile=\"" + names[d] + "\"\n"), std::string::npos);
      counts += std::to_string(records.size()) + " ";
      for (const auto& record : records) EXPECT_EQ(record.first, rank++);
    }
    ASSERT_EQ(counts, c[2] + " ") << screen;
    EXPECT_NE(documents.back().find(">\nlast " + c[1].substr(0, c[1].find(' ')) + "\n<Source"),
              std::string::npos);
  }
}

}  // namespace
}  // namespace Vantrel
