// The XML log format: records byte for byte (logfile_cases/xml_records.txt),
// well-formed documents whatever the bytes, and complete documents after
// closing for inactivity, after rotation and at process exit (read back with
// libxml2, and xmllint for whole processes).
#include "LogFileXml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "src/logfile_records.h"
#include "zeltools/native/ThreadId.h"

namespace Vantrel {
namespace {

using namespace logfile_support;

// An XML log file in a fresh directory, on the test clock.
struct XmlLog {
  explicit XmlLog(const std::string& name = "unit") : names(dir.path, name, "xml") {
    record.config.active = true;
    record.config.size = 1000;
  }
  void write(const std::string& message) { write(message, record); }
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

// The number of records of a well-formed document; -1 when it is not one.
int records_of(const std::string& text) {
  xmlDoc* doc = xmlReadMemory(text.data(), static_cast<int>(text.size()), "log.xml", nullptr,
                              XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
  if (!doc) return -1;
  int count = 0;
  for (xmlNode* node = xmlDocGetRootElement(doc)->children; node; node = node->next)
    count += node->type == XML_ELEMENT_NODE;
  xmlFreeDoc(doc);
  return count;
}

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
    c.config.active = true;
    c.config.size = 1000;
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
  EXPECT_EQ(run_case_file("xml_records.txt", write), 23);
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
    log.write(bytes);
  }
  const std::string text = log.text(true);
  EXPECT_EQ(records_of(text), 3) << text;
}

TEST(LogFileXmlTest, ClosedForInactivityStillEndsComplete) {
  XmlLog log;
  log.write("first");
  log.record.config.active = false;  // an assert, say: written, then the file closes
  log.write("assert");
  const std::string closed = log.text();
  EXPECT_EQ(closed.substr(closed.size() - 7), "</Msg>\n");  // the root is still open
  log.write("appended");
  const std::string text = log.text(true);  // re-opened once more to end it
  EXPECT_EQ(records_of(text), 3) << text;
  EXPECT_EQ(text.substr(text.size() - 28), "\nappended\n</Msg>\n</Vantrel>\n");
  EXPECT_EQ(text.find("<?xml"), text.rfind("<?xml"));  // one declaration
}

// Whole processes: documents as the library leaves them at exit.
int run_host(const std::string& environment, const std::string& arguments,
             const std::string& output = "/dev/null") {
  return std::system(("env " + environment + " " VANTREL_TEST_HOSTS_DIR "/host_xml_rotate " +
                      arguments + " > '" + output + "'")
                         .c_str());
}

bool xmllint_accepts(const std::string& path) {
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0) return true;  // not installed
  return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

// Without keep, the first file is unlinked; the last record has a source.
TEST(LogFileXmlHostTest, RotatedFilesAndLastFileAreCompleteDocuments) {
  const struct {
    const char* arguments;
    std::vector<int> per_file;
    unsigned first_rank;
  } cases[] = {{"7 keep", {3, 3, 1}, 1}, {"7", {3, 1}, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments);
    TempDir dir;
    ASSERT_EQ(
        run_host("QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGDIR=" + dir.path,
                 c.arguments),
        0);
    const std::vector<std::string> files = dir.files();
    ASSERT_EQ(files.size(), c.per_file.size());
    unsigned rank = c.first_rank;
    for (std::size_t f = 0; f < files.size(); ++f) {
      const std::string path = dir.path + "/" + files[f];
      EXPECT_TRUE(
          std::regex_match(files[f], std::regex("host_xml_rotate_\\d+_[0-9_]{23}_trace\\.xml")));
      EXPECT_TRUE(xmllint_accepts(path)) << path;
      const std::string text = read_file(path);
      EXPECT_EQ(records_of(text), c.per_file[f]) << text;
      EXPECT_NE(text.find("\nLogFile=\"" + path + "\"\n"), std::string::npos) << text;
      for (int i = 0; i < c.per_file[f]; ++i, ++rank) {
        const std::string message =
            "message " + std::to_string(rank) + " &lt;&amp;&gt; \"q\"&#9;tab";
        EXPECT_NE(text.find("<Msg\nRank=\"" + std::to_string(rank) + "\""), std::string::npos);
        EXPECT_NE(text.find(">\n" + (rank < 7 ? message : "last 7") + "\n"), std::string::npos);
      }
    }
  }
}

TEST(LogFileXmlHostTest, ScreenOutputHoldsOneDocumentPerRotation) {
  TempDir dir;
  const std::string output = dir.path + "/stdout.txt";
  ASSERT_EQ(
      run_host("QZ_TRACE_XML=1 QZ_TRACE_TO_SCREEN=1 QZ_TRACE_CONFIGDIR=" + dir.path, "4", output),
      0);
  const std::string text = read_file(output);
  const std::size_t second = text.find("<?xml", 1);
  ASSERT_EQ(text.find("<?xml"), 0u) << text;
  ASSERT_NE(second, std::string::npos) << text;
  EXPECT_EQ(records_of(text.substr(0, second)), 3);
  EXPECT_EQ(records_of(text.substr(second)), 1);
  EXPECT_EQ(occurrences(text, "\nLogFile=\"ToScreen\"\n"), 2u);
}

}  // namespace
}  // namespace Vantrel
