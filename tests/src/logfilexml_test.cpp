// The XML log format: the root and its attributes, one Msg element per record
// with its attributes, context children, text, Source and comment; documents
// complete after rotation, after closing for inactivity and at process exit.
// Documents are read back with libxml2 (and xmllint for whole processes).
#include "LogFileXml.h"

#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <random>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "DeferredUnlink.h"
#include "src/logfile_support.h"
#include "zeltools/native/ThreadId.h"

namespace Vantrel {
namespace {

class Names : public DeviceInfo {
 public:
  explicit Names(std::string dir, std::string name = "unit")
      : dir_(std::move(dir)), name_(std::move(name)) {}
  std::string name() const override { return name_; }
  std::string logext() const override { return "xml"; }
  std::string logdir() const override { return dir_; }
  std::string configfile() const override { return "unused.ini"; }

 private:
  std::string dir_;
  std::string name_;
};

using logfile_support::TempDir;

// The files' paths, sorted, so by creation time.
std::vector<std::string> paths(const TempDir& dir) {
  std::vector<std::string> result;
  for (const std::string& name : dir.files()) result.push_back(dir.path + "/" + name);
  return result;
}

using logfile_support::read_file;

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

Doc parse(std::string const& text) {
  return Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "log.xml", nullptr,
                           XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

std::string name_of(xmlNode const* node) { return reinterpret_cast<char const*>(node->name); }

using Attribute = std::pair<std::string, std::string>;
using Attributes = std::vector<Attribute>;

// The attributes in document order.
Attributes attributes(xmlNode* node) {
  Attributes result;
  for (xmlAttr* a = node->properties; a; a = a->next) {
    xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
    result.emplace_back(name_of(reinterpret_cast<xmlNode*>(a)),
                        value ? reinterpret_cast<char const*>(value) : "");
    xmlFree(value);
  }
  return result;
}

std::string attribute(xmlNode* node, std::string const& name) {
  for (auto const& a : attributes(node))
    if (a.first == name) return a.second;
  return "<missing>";
}

std::vector<xmlNode*> children(xmlNode* node, xmlElementType type = XML_ELEMENT_NODE) {
  std::vector<xmlNode*> result;
  for (xmlNode* child = node->children; child; child = child->next)
    if (child->type == type) result.push_back(child);
  return result;
}

std::vector<std::string> names_of(std::vector<xmlNode*> const& nodes) {
  std::vector<std::string> names;
  for (xmlNode* node : nodes) names.push_back(name_of(node));
  return names;
}

// The message: the text run after the Workflow and Actors elements, less the
// line breaks that the Lines layout puts around it.
std::string message_text(xmlNode* msg) {
  xmlNode* node = msg->children;
  for (xmlNode* c : children(msg))
    if (name_of(c) == "Workflow" || name_of(c) == "Actors") node = c->next;
  if (!node || node->type != XML_TEXT_NODE) return "<missing>";
  std::string const text = reinterpret_cast<char const*>(node->content);
  if (text.size() < 2 || text.front() != '\n' || text.back() != '\n') return "<unframed>" + text;
  return text.substr(1, text.size() - 2);
}

// A log file in a fresh directory; finish() ends it and parses its one file.
struct XmlLog {
  explicit XmlLog(std::string const& name = "unit") : names(dir.path, name) {
    config.active = true;
    config.size = 1000;
  }
  logfile_support::TestClock clock;  // outlives the file, which reads it to the end
  TempDir dir;
  Names names;
  std::unique_ptr<LogFileXml> file = std::make_unique<LogFileXml>(names);
  Config config;
  unsigned rank = 0;
  std::string text;

  void write(Importance const& importance, std::string const& message, int tag = Logger::Plain,
             Context::Data* data = nullptr, bool lost = false) {
    RecordInputs const inputs{&importance, tag, &config, data};
    std::ostream* out = file->begin_record(inputs, ++rank);
    ASSERT_NE(out, nullptr);
    *out << message;
    // The clock advances, so that a full file is replaced at once (no
    // keep-long).
    logfile_support::TestClock::advance(1);
    file->nested_lost(lost);
    file->end_record(inputs, rank);
    LogFileSteps::unlink_kept();  // what the logger does after the lock
  }
  // The Msg elements of the finished document.
  std::vector<xmlNode*> finish() {
    file.reset();
    std::vector<std::string> const files = paths(dir);
    EXPECT_EQ(files.size(), 1u);
    text = files.empty() ? "" : read_file(files[0]);
    doc = parse(text);
    EXPECT_TRUE(doc) << text;
    return doc ? children(xmlDocGetRootElement(doc.get())) : std::vector<xmlNode*>{};
  }
  Doc doc;
};

Importance const medium(2, 0);
std::regex const printed_time(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");

TEST(LogFileXmlTest, DocumentWithOneRecord) {
  XmlLog log;
  log.config.size = 1;  // the document ends right after its first record
  log.write(medium, "hello");
  std::vector<std::string> const files = paths(log.dir);
  ASSERT_EQ(files.size(), 1u);
  std::string const text = read_file(files[0]);
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel\nLogFile=", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 18), "</Msg>\n</Vantrel>\n");
  Doc doc = parse(text);
  ASSERT_TRUE(doc) << text;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  Attributes const root_attributes = attributes(root);
  ASSERT_EQ(root_attributes.size(), 6u);
  EXPECT_EQ(root_attributes[0], Attribute("LogFile", files[0]));
  EXPECT_EQ(root_attributes[1].second, ZelTools::Portable::Process().name());
  EXPECT_EQ(root_attributes[2], Attribute("Name", "TODO: NYI: name"));
  EXPECT_EQ(root_attributes[3].second, std::to_string(::getpid()));
  EXPECT_EQ(root_attributes[4].first, "Time");
  EXPECT_TRUE(std::regex_match(root_attributes[4].second, printed_time));
  EXPECT_EQ(root_attributes[5], Attribute("Build", build_identification()));
  EXPECT_TRUE(std::regex_match(
      build_identification(),
      std::regex(R"(Build (release|debug) at [A-Z][a-z]{2} [ 1-3]\d \d{4} \d\d:\d\d:\d\d on linux )"
                 R"((GCC \(__GNUC__ = \d+\)|Clang \(__clang_major__ = \d+\)))")));
  ASSERT_EQ(children(root).size(), 1u);
  EXPECT_EQ(message_text(children(root)[0]), "hello");
}

TEST(LogFileXmlTest, MsgAttributes) {
  struct {
    Importance importance;
    bool unwinding;
    Attributes tail;  // the attributes after Rank, Time, Pid and Tid
  } const cases[] = {
      {{2, 0}, false, {{"Imp", "=="}}},
      {{0, 0}, false, {{"Imp", "<<"}}},
      {{3, 1}, false, {{"Imp", ">="}, {"Sev", "W"}}},
      {{4, 3}, false, {{"Imp", ">>"}, {"Sev", "A"}}},
      {{9, 5}, false, {{"Imp", "??"}, {"Sev", "?"}}},
      {{4, 2}, true, {{"Imp", ">>"}, {"Sev", "E"}, {"Exc", "X"}}},
      {{1, 0}, true, {{"Imp", "<="}, {"Exc", "X"}}},
  };
  XmlLog log;
  struct WritesWhileUnwinding {
    XmlLog& log;
    Importance const& importance;
    ~WritesWhileUnwinding() { log.write(importance, "x"); }
  };
  for (auto const& c : cases) {
    if (!c.unwinding) {
      log.write(c.importance, "x");
      continue;
    }
    try {
      WritesWhileUnwinding writer{log, c.importance};
      throw 1;
    } catch (int) {
    }
  }
  std::vector<xmlNode*> const msgs = log.finish();
  ASSERT_EQ(msgs.size(), std::size(cases));
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    Attributes const all = attributes(msgs[i]);
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(all[0], Attribute("Rank", std::to_string(i + 1)));
    EXPECT_EQ(all[1].first, "Time");
    EXPECT_TRUE(std::regex_match(all[1].second, printed_time));
    EXPECT_EQ(all[2], Attribute("Pid", std::to_string(::getpid())));
    EXPECT_EQ(all[3].second, std::to_string(ZelTools::Native::current_thread_id()));
    EXPECT_EQ(Attributes(all.begin() + 4, all.end()), cases[i].tail) << i;
    EXPECT_TRUE(children(msgs[i]).empty());
  }
}

// Each record's Time is the clock's reading when it began, also when records
// share a millisecond, a second, or only the millisecond digits.
TEST(LogFileXmlTest, RecordTimesFollowTheClock) {
  struct {
    long long ms;  // since 1970
    const char* time;
  } const cases[] = {
      {1700000000998, "2023/11/14 22:13:20.998"}, {1700000000998, "2023/11/14 22:13:20.998"},
      {1700000000999, "2023/11/14 22:13:20.999"}, {1700000001000, "2023/11/14 22:13:21.000"},
      {1700000001007, "2023/11/14 22:13:21.007"}, {1700000061007, "2023/11/14 22:14:21.007"},
      {1700003661007, "2023/11/14 23:14:21.007"}, {1699999999000, "2023/11/14 22:13:19.000"},
  };
  XmlLog log;
  log.config.size = 100;
  for (auto const& c : cases) {
    logfile_support::TestClock::set(c.ms);
    RecordInputs const inputs{&medium, Logger::Plain, &log.config, nullptr};
    *log.file->begin_record(inputs, ++log.rank) << "r";
    log.file->end_record(inputs, log.rank);
  }
  std::vector<xmlNode*> const msgs = log.finish();
  ASSERT_EQ(msgs.size(), std::size(cases));
  for (std::size_t i = 0; i < msgs.size(); ++i)
    EXPECT_EQ(attribute(msgs[i], "Time"), cases[i].time);
}

TEST(LogFileXmlTest, ScopeWithoutContext) {
  XmlLog log;
  log.write(medium, "in", Logger::Open);
  log.write(medium, "out", Logger::Close);
  std::vector<xmlNode*> const msgs = log.finish();
  ASSERT_EQ(msgs.size(), 2u);
  char const* const scopes[] = {"Open", "Close"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(names_of(children(msgs[i])), std::vector<std::string>{"Workflow"});
    xmlNode* workflow = children(msgs[i])[0];
    EXPECT_EQ(attributes(workflow), (Attributes{{"Scope", scopes[i]}}));
    EXPECT_TRUE(children(workflow).empty());
  }
  EXPECT_EQ(message_text(msgs[1]), "out");
}

TEST(LogFileXmlTest, ContextChildrenAndCounters) {
  using Context::StepFields;
  using Context::SubFields;
  Context::Data data;
  data.major_tick = 5;
  data.major_depth = 2;
  data.minor_tick = 10;
  data.minor_depth = 4;
  data.caller = StepFields(SubFields{}, SubFields{"7"});
  data.callee = StepFields(SubFields{"order", "check"}, SubFields{""});
  data.user = SubFields{"ann"};
  data.consultant = SubFields{"con", "sult"};
  XmlLog log;
  log.config.set_consultant("not this one");
  log.write(medium, "open", Logger::Open, &data);
  data.root = StepFields(SubFields{"r"}, SubFields{});
  data.user = SubFields{};
  data.consultant = SubFields{};
  log.write(medium, "close", Logger::Close, &data);
  EXPECT_EQ(data.minor_tick, 12u);
  EXPECT_EQ(data.minor_depth, 4u);
  std::vector<xmlNode*> const msgs = log.finish();
  ASSERT_EQ(msgs.size(), 2u);

  ASSERT_EQ(names_of(children(msgs[0])), (std::vector<std::string>{"Workflow", "Actors"}));
  std::vector<xmlNode*> const steps = children(children(msgs[0])[0]);
  // No Root: its names and ids hold no field. An empty field is a field.
  ASSERT_EQ(names_of(steps), (std::vector<std::string>{"Tick", "Depth", "Caller", "Callee"}));
  EXPECT_EQ(attributes(steps[0]), (Attributes{{"Major", "5"}, {"Minor", "11"}}));
  EXPECT_EQ(attributes(steps[1]), (Attributes{{"Major", "2"}, {"Minor", "5"}, {"Scope", "Open"}}));
  EXPECT_EQ(attributes(steps[2]), (Attributes{{"Name", ""}, {"Id", "7"}}));
  EXPECT_EQ(attributes(steps[3]), (Attributes{{"Name", "order/check"}, {"Id", ""}}));
  EXPECT_EQ(attributes(children(msgs[0])[1]),
            (Attributes{{"User", "ann"}, {"Consultant", "con/sult"}}));
  EXPECT_EQ(message_text(msgs[0]), "open");

  // Close shows the values before they are lowered; no actor gives an empty Actors.
  std::vector<xmlNode*> const close_steps = children(children(msgs[1])[0]);
  ASSERT_EQ(names_of(close_steps),
            (std::vector<std::string>{"Tick", "Depth", "Root", "Caller", "Callee"}));
  EXPECT_EQ(attributes(close_steps[0]), (Attributes{{"Major", "5"}, {"Minor", "11"}}));
  EXPECT_EQ(attributes(close_steps[1]),
            (Attributes{{"Major", "2"}, {"Minor", "5"}, {"Scope", "Close"}}));
  EXPECT_EQ(attributes(close_steps[2]), (Attributes{{"Name", "r"}, {"Id", ""}}));
  xmlNode* actors = children(msgs[1])[1];
  EXPECT_TRUE(attributes(actors).empty());
  EXPECT_TRUE(children(actors).empty());
}

TEST(LogFileXmlTest, SourceAndLostNestedTraceFollowTheText) {
  Importance const positioned(2, 0, "main.cpp", 42);
  XmlLog log;
  log.config.display_mask = 0;  // the XML record ignores the display mask
  log.write(positioned, "placed", Logger::Plain, nullptr, true);
  log.write(medium, "bare");
  std::vector<xmlNode*> const msgs = log.finish();
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_NE(log.text.find(">\nplaced\n<Source\nFile=\"main.cpp\"\nLine=\"42\"/>\n"
                          "<!--Lost Nested Trace-->\n</Msg>\n"),
            std::string::npos)
      << log.text;
  EXPECT_EQ(message_text(msgs[0]), "placed");
  EXPECT_EQ(attributes(children(msgs[0])[0]), (Attributes{{"File", "main.cpp"}, {"Line", "42"}}));
  EXPECT_TRUE(children(msgs[1]).empty());
  EXPECT_TRUE(children(msgs[1], XML_COMMENT_NODE).empty());
}

// Random bytes in every field the record shows (message, step names and
// ids, user and actors, source file, the destination's name in the file's
// own name): every file parses and keeps every record.
TEST(LogFileXmlTest, AnyBytesInEveryFieldKeepTheFileWellFormed) {
  std::mt19937 random(15);
  char const* const troubles[] = {"\xc3",         "\xe2\x82", "\xf0\x9f\x98", "\x80\xbf",
                                  "\xed\xa0\x80", "\xc0\x80", "\xef\xbf\xbe", "\x01",
                                  "\x7f",         "]]>",      "\xc3\xa9"};
  auto any_bytes = [&](int most) {
    std::string text;
    for (int n = static_cast<int>(random() % static_cast<unsigned>(most)); n > 0; --n) {
      if (random() % 4 == 0) {
        text += troubles[random() % std::size(troubles)];
      } else {
        text += static_cast<char>(1 + random() % 255);
      }
    }
    return text;
  };
  auto fields = [&] { return Context::SubFields{any_bytes(8), any_bytes(8)}; };
  for (int round = 0; round < 12; ++round) {
    std::string name = any_bytes(10);
    std::replace(name.begin(), name.end(), '/', '_');  // a name never holds a path separator
    XmlLog log(name);
    Context::Data data;
    data.root = Context::StepFields(fields(), fields());
    data.caller = Context::StepFields(fields(), fields());
    data.callee = Context::StepFields(fields(), fields());
    data.user = fields();
    data.architect = fields();
    data.developer = fields();
    std::string const file = any_bytes(20);
    Importance const positioned(2, 0, file.c_str(), 9);
    for (int i = 0; i < 8; ++i) log.write(positioned, any_bytes(60), i % 3, &data);
    EXPECT_EQ(log.finish().size(), 8u) << log.text;
  }
}

TEST(LogFileXmlTest, ClosedForInactivityStillEndsComplete) {
  XmlLog log;
  log.write(medium, "first");
  log.config.active = false;  // an assert, say: written, then the file closes
  log.write(Importance(4, 3), "assert");
  std::string const closed = read_file(paths(log.dir).at(0));
  EXPECT_EQ(closed.substr(closed.size() - 7), "</Msg>\n");  // the root is still open
  log.write(Importance(4, 3), "appended");
  std::vector<xmlNode*> const msgs = log.finish();  // re-opened once more to end it
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(message_text(msgs[2]), "appended");
  EXPECT_EQ(log.text.find("<?xml"), log.text.rfind("<?xml"));  // one declaration
}

// ---------------------------------------------------------------------------
// Whole processes: documents as the library leaves them at exit.

int run_host(std::string const& host, std::string const& environment, std::string const& arguments,
             std::string const& output = "/dev/null") {
  std::string const command = "env " + environment + " " + VANTREL_TEST_HOSTS_DIR + "/host_" +
                              host + " " + arguments + " > '" + output + "'";
  return std::system(command.c_str());
}

bool xmllint_accepts(std::string const& path) {
  if (std::system("command -v xmllint > /dev/null 2>&1") != 0) return true;  // not installed
  return std::system(("xmllint --noout '" + path + "' 2>/dev/null").c_str()) == 0;
}

TEST(LogFileXmlHostTest, RotatedFilesAndLastFileAreCompleteDocuments) {
  struct {
    char const* arguments;
    std::vector<std::size_t> per_file;
    unsigned first_rank;
  } const cases[] = {{"7 keep", {3, 3, 1}, 1}, {"7", {3, 1}, 4}};  // without keep, A is unlinked
  for (auto const& c : cases) {
    SCOPED_TRACE(c.arguments);
    TempDir dir;
    ASSERT_EQ(
        run_host("xml_rotate",
                 "QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGDIR=" + dir.path,
                 c.arguments),
        0);
    std::vector<std::string> const files = paths(dir);
    ASSERT_EQ(files.size(), c.per_file.size());
    unsigned rank = c.first_rank;
    for (std::size_t f = 0; f < files.size(); ++f) {
      EXPECT_TRUE(
          std::regex_match(files[f], std::regex(".*/host_xml_rotate_\\d+_[0-9_]{23}_trace\\.xml")));
      EXPECT_TRUE(xmllint_accepts(files[f])) << files[f];
      Doc doc = parse(read_file(files[f]));
      ASSERT_TRUE(doc) << files[f];
      xmlNode* root = xmlDocGetRootElement(doc.get());
      EXPECT_EQ(attribute(root, "LogFile"), files[f]);
      std::vector<xmlNode*> const msgs = children(root);
      ASSERT_EQ(msgs.size(), c.per_file[f]);
      for (xmlNode* msg : msgs) {
        EXPECT_EQ(attribute(msg, "Rank"), std::to_string(rank));
        std::string const expected = "message " + std::to_string(rank) + " <&> \"q\"\ttab";
        EXPECT_EQ(message_text(msg), rank < 7 ? expected : "last 7");
        ++rank;
      }
    }
  }
}

TEST(LogFileXmlHostTest, ScreenOutputHoldsOneDocumentPerRotation) {
  TempDir dir;
  std::string const output = dir.path + "/stdout.txt";
  ASSERT_EQ(
      run_host("xml_rotate", "QZ_TRACE_XML=1 QZ_TRACE_TO_SCREEN=1 QZ_TRACE_CONFIGDIR=" + dir.path,
               "4", output),
      0);
  std::string const text = read_file(output);
  std::size_t const second = text.find("<?xml", 1);
  ASSERT_EQ(text.find("<?xml"), 0u) << text;
  ASSERT_NE(second, std::string::npos) << text;
  std::string const documents[] = {text.substr(0, second), text.substr(second)};
  std::size_t const per_document[] = {3, 1};
  for (int d = 0; d < 2; ++d) {
    Doc doc = parse(documents[d]);
    ASSERT_TRUE(doc) << documents[d];
    xmlNode* root = xmlDocGetRootElement(doc.get());
    EXPECT_EQ(attribute(root, "LogFile"), "ToScreen");
    EXPECT_EQ(children(root).size(), per_document[d]);
  }
}

}  // namespace
}  // namespace Vantrel
