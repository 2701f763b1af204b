// The XML log format: the document's root and its attributes, one Msg element
// per record with its attributes, context children, text, Source and comment;
// documents complete after rotation, after closing for inactivity and at the
// end of the log file. Documents are read back with a real XML parser.
#include "LogFileXml.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "ThreadId.h"

namespace Vantrel {
namespace {

class Names : public DeviceInfo {
 public:
  explicit Names(std::string dir) : dir_(std::move(dir)) {}
  std::string name() const override { return "unit"; }
  std::string logext() const override { return "xml"; }
  std::string logdir() const override { return dir_; }
  std::string configfile() const override { return "unused.ini"; }

 private:
  std::string dir_;
};

// A fresh directory, removed with its files at the end.
struct TempDir {
  std::string path;
  TempDir() {
    char pattern[] = "/tmp/vantrel_logfilexml_XXXXXX";
    path = ::mkdtemp(pattern);
  }
  ~TempDir() {
    for (std::string const& file : files()) std::remove(file.c_str());
    ::rmdir(path.c_str());
  }
  // The paths of the files in the directory, sorted (so by creation time).
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(path.c_str())) {
      while (dirent const* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') names.push_back(path + "/" + entry->d_name);
      ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
};

std::string read_all(std::string const& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

struct DocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using Doc = std::unique_ptr<xmlDoc, DocFree>;

Doc parse(std::string const& text) {
  return Doc(xmlReadMemory(text.data(), static_cast<int>(text.size()), "log.xml", nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
}

std::string node_name(xmlNode const* node) { return reinterpret_cast<char const*>(node->name); }

using Attributes = std::vector<std::pair<std::string, std::string>>;

// The attributes in document order.
Attributes attributes(xmlNode* node) {
  Attributes result;
  for (xmlAttr* a = node->properties; a; a = a->next) {
    xmlChar* value = xmlNodeListGetString(node->doc, a->children, 1);
    result.emplace_back(reinterpret_cast<char const*>(a->name),
                        value ? reinterpret_cast<char const*>(value) : "");
    xmlFree(value);
  }
  return result;
}

std::vector<std::string> attribute_names(xmlNode* node) {
  std::vector<std::string> names;
  for (auto const& a : attributes(node)) names.push_back(a.first);
  return names;
}

std::string attribute(xmlNode* node, char const* name) {
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

xmlNode* child(xmlNode* node, char const* name) {
  for (xmlNode* c : children(node))
    if (node_name(c) == name) return c;
  return nullptr;
}

// The message: the text run after the Workflow and Actors elements, less the
// line breaks of the Lines layout around it.
std::string message_text(xmlNode* msg) {
  xmlNode* node = msg->children;
  for (xmlNode* c = msg->children; c; c = c->next) {
    if (c->type == XML_ELEMENT_NODE && (node_name(c) == "Workflow" || node_name(c) == "Actors"))
      node = c->next;
  }
  if (!node || node->type != XML_TEXT_NODE) return "<missing>";
  std::string text = reinterpret_cast<char const*>(node->content);
  if (text.size() < 2 || text.front() != '\n' || text.back() != '\n') return "<unframed>" + text;
  return text.substr(1, text.size() - 2);
}

Config settings(bool active, std::uint32_t size, bool keep = false) {
  Config config;
  config.active = active;
  config.size = size;
  config.keep = keep;
  return config;
}

// One record of `text`. The pause lets the clock advance, so that a full file
// is always replaced (the keep-long rule does not apply).
void write_record(LogFile& file, RecordInputs const& inputs, unsigned rank, std::string const& text,
                  bool lost = false) {
  std::ostream* out = file.begin_record(inputs, rank);
  ASSERT_NE(out, nullptr);
  *out << text;
  std::this_thread::sleep_for(std::chrono::milliseconds(2));
  file.nested_lost(lost);
  file.end_record(inputs, rank);
}

// A log file in a fresh directory whose documents are read back whole.
struct XmlLog {
  TempDir dir;
  Names names{dir.path};
  std::unique_ptr<LogFileXml> file = std::make_unique<LogFileXml>(names);
  Config config = settings(true, 1000);

  void write(Importance const& importance, std::string const& text, int tag = Logger::Plain,
             Context::Data* data = nullptr, bool lost = false) {
    write_record(*file, RecordInputs{&importance, tag, &config, data}, ++rank, text, lost);
  }
  // Ends the log file (completing its document) and parses its one file.
  Doc finish() {
    file.reset();
    std::vector<std::string> const files = dir.files();
    EXPECT_EQ(files.size(), 1u);
    if (files.empty()) return nullptr;
    text = read_all(files.front());
    Doc doc = parse(text);
    EXPECT_TRUE(doc) << text;
    return doc;
  }
  // The Msg elements of a finished document.
  std::vector<xmlNode*> msgs(Doc const& doc) { return children(xmlDocGetRootElement(doc.get())); }

  unsigned rank = 0;
  std::string text;
};

Importance const medium(2, 0);
Importance const warning(3, 1);
std::regex const printed_time(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}\.\d{3})");

TEST(LogFileXmlTest, DocumentWithOneRecord) {
  XmlLog log;
  log.config.size = 1;  // the document is ended right after its first record
  log.write(medium, "hello");
  std::vector<std::string> const files = log.dir.files();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_TRUE(std::regex_match(files[0], std::regex(".*/[^/]*_unit_\\d+_[0-9_]{23}_trace\\.xml")))
      << files[0];
  std::string const text = read_all(files[0]);
  EXPECT_EQ(text.substr(0, 48), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Vantrel\n");
  EXPECT_EQ(text.substr(text.size() - 18), "</Msg>\n</Vantrel>\n");

  Doc doc = parse(text);
  ASSERT_TRUE(doc) << text;
  xmlNode* root = xmlDocGetRootElement(doc.get());
  EXPECT_EQ(node_name(root), "Vantrel");
  EXPECT_EQ(attribute_names(root),
            (std::vector<std::string>{"LogFile", "Process", "Name", "Pid", "Time", "Build"}));
  EXPECT_EQ(attribute(root, "LogFile"), files[0]);
  EXPECT_EQ(attribute(root, "Process"), ZelTools::Portable::Process().name());
  EXPECT_EQ(attribute(root, "Name"), "TODO: NYI: name");
  EXPECT_EQ(attribute(root, "Pid"), std::to_string(::getpid()));
  EXPECT_TRUE(std::regex_match(attribute(root, "Time"), printed_time)) << attribute(root, "Time");
  EXPECT_EQ(attribute(root, "Build"), build_identification());
  ASSERT_EQ(log.msgs(doc).size(), 1u);
  EXPECT_EQ(message_text(log.msgs(doc)[0]), "hello");
}

TEST(LogFileXmlTest, BuildIdentificationForm) {
  std::regex const form(
      R"(Build (release|debug) at [A-Z][a-z]{2} [ 1-3]\d \d{4} \d{2}:\d{2}:\d{2} on linux )"
      R"((GCC \(__GNUC__ = \d+\)|Clang \(__clang_major__ = \d+\)))");
  EXPECT_TRUE(std::regex_match(build_identification(), form)) << build_identification();
}

TEST(LogFileXmlTest, PlainMessageWithoutContext) {
  XmlLog log;
  log.write(medium, "plain");
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  xmlNode* msg = log.msgs(doc).at(0);
  EXPECT_EQ(node_name(msg), "Msg");
  EXPECT_EQ(attribute_names(msg), (std::vector<std::string>{"Rank", "Time", "Pid", "Tid", "Imp"}));
  EXPECT_EQ(attribute(msg, "Rank"), "1");
  EXPECT_TRUE(std::regex_match(attribute(msg, "Time"), printed_time));
  EXPECT_EQ(attribute(msg, "Pid"), std::to_string(::getpid()));
  EXPECT_EQ(attribute(msg, "Tid"), std::to_string(Native::current_thread_id()));
  EXPECT_EQ(attribute(msg, "Imp"), "==");
  EXPECT_TRUE(children(msg).empty());
  EXPECT_EQ(message_text(msg), "plain");
}

TEST(LogFileXmlTest, LevelAndSeverityAttributes) {
  struct {
    Importance importance;
    char const* imp;
    char const* sev;  // null: no Sev attribute
  } const cases[] = {
      {{0, 0}, "<<", nullptr}, {{1, 0}, "<=", nullptr}, {{2, 0}, "==", nullptr},
      {{3, 1}, ">=", "W"},     {{4, 2}, ">>", "E"},     {{4, 3}, ">>", "A"},
      {{9, 5}, "??", "?"},     {{-1, -1}, "??", "?"},
  };
  XmlLog log;
  for (auto const& c : cases) log.write(c.importance, "x");
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), std::size(cases));
  for (std::size_t i = 0; i < msgs.size(); ++i) {
    EXPECT_EQ(attribute(msgs[i], "Imp"), cases[i].imp) << i;
    EXPECT_EQ(attribute(msgs[i], "Sev"), cases[i].sev ? cases[i].sev : "<missing>") << i;
    EXPECT_EQ(attribute(msgs[i], "Rank"), std::to_string(i + 1));
  }
}

TEST(LogFileXmlTest, ExceptionInFlightGivesExc) {
  XmlLog log;
  struct WritesWhileUnwinding {
    XmlLog& log;
    ~WritesWhileUnwinding() { log.write(warning, "unwinding"); }
  };
  try {
    WritesWhileUnwinding writer{log};
    throw 1;
  } catch (int) {
  }
  log.write(warning, "calm");
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 2u);
  EXPECT_EQ(attribute_names(msgs[0]),
            (std::vector<std::string>{"Rank", "Time", "Pid", "Tid", "Imp", "Sev", "Exc"}));
  EXPECT_EQ(attribute(msgs[0], "Exc"), "X");
  EXPECT_EQ(attribute(msgs[1], "Exc"), "<missing>");
}

TEST(LogFileXmlTest, ScopeWithoutContext) {
  XmlLog log;
  log.write(medium, "in", Logger::Open);
  log.write(medium, "out", Logger::Close);
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 2u);
  char const* const scopes[] = {"Open", "Close"};
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(children(msgs[i]).size(), 1u);
    xmlNode* workflow = child(msgs[i], "Workflow");
    ASSERT_NE(workflow, nullptr);
    EXPECT_EQ(attributes(workflow), (Attributes{{"Scope", scopes[i]}}));
    EXPECT_TRUE(children(workflow).empty());
  }
  EXPECT_EQ(message_text(msgs[1]), "out");
}

TEST(LogFileXmlTest, ContextChildren) {
  Context::Data data;
  data.major_tick = 5;
  data.major_depth = 2;
  data.minor_tick = 3;
  data.minor_depth = 1;
  data.caller = Context::StepFields(Context::SubFields{}, Context::SubFields{"7"});
  data.callee = Context::StepFields(Context::SubFields{"order", "check"}, Context::SubFields{"17"});
  data.user = Context::SubFields{"ann"};
  data.consultant = Context::SubFields{"con", "sult"};
  XmlLog log;
  log.config.set_consultant("not this one");
  log.write(medium, "with context", Logger::Plain, &data);
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  xmlNode* msg = log.msgs(doc).at(0);
  std::vector<xmlNode*> const parts = children(msg);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_EQ(node_name(parts[0]), "Workflow");
  EXPECT_EQ(node_name(parts[1]), "Actors");

  std::vector<xmlNode*> const steps = children(parts[0]);
  ASSERT_EQ(steps.size(), 4u);  // no Root: its names and ids hold no field
  EXPECT_EQ(node_name(steps[0]), "Tick");
  EXPECT_EQ(attributes(steps[0]), (Attributes{{"Major", "5"}, {"Minor", "3"}}));
  EXPECT_EQ(node_name(steps[1]), "Depth");
  EXPECT_EQ(attributes(steps[1]), (Attributes{{"Major", "2"}, {"Minor", "1"}}));
  EXPECT_EQ(node_name(steps[2]), "Caller");
  EXPECT_EQ(attributes(steps[2]), (Attributes{{"Name", ""}, {"Id", "7"}}));
  EXPECT_EQ(node_name(steps[3]), "Callee");
  EXPECT_EQ(attributes(steps[3]), (Attributes{{"Name", "order/check"}, {"Id", "17"}}));

  EXPECT_EQ(attributes(parts[1]), (Attributes{{"User", "ann"}, {"Consultant", "con/sult"}}));
  EXPECT_EQ(message_text(msg), "with context");
  EXPECT_EQ(data.minor_tick, 3u);  // a Plain record leaves the counters alone
  EXPECT_EQ(data.minor_depth, 1u);
}

TEST(LogFileXmlTest, EmptyContextGivesEmptyActorsAndAllSteps) {
  Context::Data data;
  data.root = Context::StepFields(Context::SubFields{"r"}, Context::SubFields{});
  data.caller = Context::StepFields(Context::SubFields{"c"}, Context::SubFields{"1"});
  data.callee = Context::StepFields(Context::SubFields{""}, Context::SubFields{});
  data.architect = Context::SubFields{"arch"};
  data.developer = Context::SubFields{"dev"};
  XmlLog log;
  log.write(medium, "a", Logger::Plain, &data);
  data.architect = Context::SubFields{};
  data.developer = Context::SubFields{};
  log.write(medium, "b", Logger::Plain, &data);
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 2u);
  std::vector<std::string> step_names;
  for (xmlNode* step : children(child(msgs[0], "Workflow"))) step_names.push_back(node_name(step));
  EXPECT_EQ(step_names, (std::vector<std::string>{"Tick", "Depth", "Root", "Caller", "Callee"}));
  EXPECT_EQ(attributes(children(child(msgs[0], "Workflow"))[4]),
            (Attributes{{"Name", ""}, {"Id", ""}}));  // one empty field is a field
  EXPECT_EQ(attributes(child(msgs[0], "Actors")),
            (Attributes{{"Architect", "arch"}, {"Developer", "dev"}}));
  xmlNode* actors = child(msgs[1], "Actors");
  ASSERT_NE(actors, nullptr);
  EXPECT_TRUE(attributes(actors).empty());
  EXPECT_TRUE(children(actors).empty());
}

TEST(LogFileXmlTest, OpenAndCloseAdvanceMinorTickAndDepth) {
  Context::Data data;
  data.minor_tick = 10;
  data.minor_depth = 4;
  XmlLog log;
  log.write(medium, "open", Logger::Open, &data);
  EXPECT_EQ(data.minor_tick, 11u);
  EXPECT_EQ(data.minor_depth, 5u);
  log.write(medium, "close", Logger::Close, &data);
  EXPECT_EQ(data.minor_tick, 12u);
  EXPECT_EQ(data.minor_depth, 4u);
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 2u);
  // Open shows the raised values, Close the values before they are lowered.
  struct {
    char const* tick;
    char const* depth;
    char const* scope;
  } const expected[] = {{"11", "5", "Open"}, {"11", "5", "Close"}};
  for (int i = 0; i < 2; ++i) {
    xmlNode* workflow = child(msgs[i], "Workflow");
    ASSERT_NE(workflow, nullptr);
    EXPECT_EQ(attribute(child(workflow, "Tick"), "Minor"), expected[i].tick);
    EXPECT_EQ(
        attributes(child(workflow, "Depth")),
        (Attributes{{"Major", "0"}, {"Minor", expected[i].depth}, {"Scope", expected[i].scope}}));
  }
}

TEST(LogFileXmlTest, SourceAndLostNestedTraceComeAfterTheText) {
  Importance const positioned(2, 0, "main.cpp", 42);
  XmlLog log;
  log.config.display_mask = 0;  // the XML record ignores the display mask
  log.write(positioned, "placed", Logger::Plain, nullptr, true);
  log.write(medium, "bare");
  Doc doc = log.finish();
  ASSERT_TRUE(doc);
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 2u);
  std::vector<xmlNode*> const parts = children(msgs[0]);
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(node_name(parts[0]), "Source");
  EXPECT_EQ(attributes(parts[0]), (Attributes{{"File", "main.cpp"}, {"Line", "42"}}));
  std::vector<xmlNode*> const comments = children(msgs[0], XML_COMMENT_NODE);
  ASSERT_EQ(comments.size(), 1u);
  EXPECT_STREQ(reinterpret_cast<char const*>(comments[0]->content), "Lost Nested Trace");
  EXPECT_EQ(message_text(msgs[0]), "placed");
  // In document order: text, Source, comment.
  EXPECT_NE(log.text.find("placed\n<Source\nFile=\"main.cpp\"\nLine=\"42\"/>\n<!--Lost Nested "
                          "Trace-->\n</Msg>\n"),
            std::string::npos)
      << log.text;
  EXPECT_TRUE(children(msgs[1]).empty());
  EXPECT_TRUE(children(msgs[1], XML_COMMENT_NODE).empty());
}

TEST(LogFileXmlTest, MessageTextRoundTripsUnchanged) {
  std::string const texts[] = {
      "a < b && c > d",          "say \"hi\" and 'bye'", "tab\there\nnew line\r\nend",
      "]]> -- <!-- &amp; &#10;", "caf\xc3\xa9",          "",
  };
  XmlLog log;
  for (std::string const& text : texts) log.write(medium, text);
  Doc doc = log.finish();
  ASSERT_TRUE(doc) << log.text;
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), std::size(texts));
  for (std::size_t i = 0; i < msgs.size(); ++i) EXPECT_EQ(message_text(msgs[i]), texts[i]);
}

TEST(LogFileXmlTest, EveryRotatedFileIsACompleteDocument) {
  XmlLog log;
  log.config = settings(true, 3, true);
  for (int i = 0; i < 7; ++i) {
    log.write(medium, "m" + std::to_string(i + 1));
    // Every full file is complete as soon as it is rotated away.
    std::vector<std::string> const files = log.dir.files();
    ASSERT_EQ(files.size(), static_cast<std::size_t>(i / 3 + 1));
    for (std::size_t f = 0; f < files.size(); ++f) {
      if (f + 1 == files.size() && (i + 1) % 3 != 0) continue;  // still being written
      EXPECT_TRUE(parse(read_all(files[f]))) << files[f] << " after record " << i + 1;
    }
  }
  log.file.reset();
  std::vector<std::string> const files = log.dir.files();
  ASSERT_EQ(files.size(), 3u);
  std::size_t const per_file[] = {3, 3, 1};
  unsigned rank = 0;
  for (std::size_t f = 0; f < 3; ++f) {
    Doc doc = parse(read_all(files[f]));
    ASSERT_TRUE(doc) << files[f];
    xmlNode* root = xmlDocGetRootElement(doc.get());
    EXPECT_EQ(attribute(root, "LogFile"), files[f]);
    std::vector<xmlNode*> const msgs = children(root);
    ASSERT_EQ(msgs.size(), per_file[f]);
    for (xmlNode* msg : msgs) EXPECT_EQ(attribute(msg, "Rank"), std::to_string(++rank));
  }
}

TEST(LogFileXmlTest, ClosedForInactivityStillEndsComplete) {
  XmlLog log;
  log.write(medium, "first");
  log.config.active = false;  // an assert, say: written, then the file closes
  log.write(Importance(4, 3), "assert");
  std::string const closed = read_all(log.dir.files().at(0));
  EXPECT_FALSE(parse(closed)) << "the root stays open while the file is closed";
  EXPECT_EQ(closed.substr(closed.size() - 7), "</Msg>\n");
  log.write(Importance(4, 3), "appended");  // re-opened for appending, closed again
  Doc doc = log.finish();                   // re-opened once more to end the document
  ASSERT_TRUE(doc) << log.text;
  std::vector<xmlNode*> const msgs = log.msgs(doc);
  ASSERT_EQ(msgs.size(), 3u);
  EXPECT_EQ(message_text(msgs[0]), "first");
  EXPECT_EQ(message_text(msgs[2]), "appended");
  EXPECT_EQ(log.text.find("<?xml"), log.text.rfind("<?xml"));  // one declaration
}

TEST(LogFileXmlTest, FactoryMakesXmlLogFiles) {
  TempDir dir;
  Names names(dir.path);
  std::unique_ptr<LogFile> file = LogFileExtFactory<LogFileXml>().create(names);
  ASSERT_NE(dynamic_cast<LogFileXml*>(file.get()), nullptr);
  EXPECT_TRUE(dir.files().empty());  // no file before the first record
  Config const config = settings(true, 10);
  write_record(*file, RecordInputs{&medium, Logger::Plain, &config, nullptr}, 1, "via factory");
  file.reset();
  ASSERT_EQ(dir.files().size(), 1u);
  EXPECT_TRUE(parse(read_all(dir.files()[0])));
}

// ---------------------------------------------------------------------------
// Whole processes: documents as the library leaves them at exit.

// Runs a test host with `environment` (assignments "A=b ...") and `arguments`;
// its standard output goes to `output` when given.
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

// Checks the documents of a run of host_xml_rotate with 7 messages: every
// file complete, holding `per_file` messages from rank `first_rank` on.
void expect_rotated_documents(std::vector<std::string> const& files,
                              std::vector<std::size_t> const& per_file, unsigned first_rank) {
  ASSERT_EQ(files.size(), per_file.size());
  unsigned rank = first_rank - 1;
  for (std::size_t f = 0; f < files.size(); ++f) {
    EXPECT_TRUE(
        std::regex_match(files[f], std::regex(".*/host_xml_rotate_\\d+_[0-9_]{23}_trace\\.xml")))
        << files[f];
    EXPECT_TRUE(xmllint_accepts(files[f])) << files[f];
    Doc doc = parse(read_all(files[f]));
    ASSERT_TRUE(doc) << files[f];
    xmlNode* root = xmlDocGetRootElement(doc.get());
    EXPECT_EQ(attribute(root, "LogFile"), files[f]);
    EXPECT_EQ(attribute(root, "Process"), "host_xml_rotate");
    std::vector<xmlNode*> const msgs = children(root);
    ASSERT_EQ(msgs.size(), per_file[f]);
    for (xmlNode* msg : msgs) {
      ++rank;
      EXPECT_EQ(attribute(msg, "Rank"), std::to_string(rank));
      if (rank < 7) {
        EXPECT_EQ(message_text(msg), "message " + std::to_string(rank) + " <&> \"q\"\ttab");
      }
    }
  }
  // The last message carries its importance and source position.
  Doc last = parse(read_all(files.back()));
  ASSERT_TRUE(last);
  xmlNode* msg = children(xmlDocGetRootElement(last.get())).at(0);
  EXPECT_EQ(attribute(msg, "Imp"), ">=");
  EXPECT_EQ(attribute(msg, "Sev"), "W");
  EXPECT_EQ(message_text(msg), "last 7");
  xmlNode* source = child(msg, "Source");
  ASSERT_NE(source, nullptr);
  EXPECT_NE(attribute(source, "File").find("xml_rotate.cpp"), std::string::npos);
}

TEST(LogFileXmlHostTest, RotatedFilesAndLastFileAreCompleteDocuments) {
  struct {
    char const* arguments;
    std::vector<std::size_t> per_file;
    unsigned first_rank;
  } const cases[] = {{"7 keep", {3, 3, 1}, 1}, {"7", {3, 1}, 4}};  // without keep, A is unlinked
  for (auto const& c : cases) {
    TempDir dir;
    ASSERT_EQ(
        run_host("xml_rotate",
                 "QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGDIR=" + dir.path,
                 c.arguments),
        0);
    SCOPED_TRACE(c.arguments);
    expect_rotated_documents(dir.files(), c.per_file, c.first_rank);
  }
}

TEST(LogFileXmlHostTest, ScreenOutputHoldsOneDocumentPerRotation) {
  TempDir dir;
  std::string const output = dir.path + "/stdout.txt";
  ASSERT_EQ(
      run_host("xml_rotate", "QZ_TRACE_XML=1 QZ_TRACE_TO_SCREEN=1 QZ_TRACE_CONFIGDIR=" + dir.path,
               "4", output),
      0);
  std::string const text = read_all(output);
  std::size_t const second = text.find("<?xml", 1);
  ASSERT_EQ(text.find("<?xml"), 0u) << text;
  ASSERT_NE(second, std::string::npos) << text;
  EXPECT_EQ(text.find("<?xml", second + 1), std::string::npos) << text;
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

TEST(LogFileXmlHostTest, ExtensionChoosesTheRecordFormat) {
  struct {
    char const* environment;
    char const* txt_suffix;  // what a "txt" destination gets
  } const cases[] = {{"QZ_TRACE_XML=0", "_trace.log"}, {"QZ_TRACE_XML=1", "_trace.xml"}};
  for (auto const& c : cases) {
    TempDir dir;
    ASSERT_EQ(run_host("xml_devices", c.environment, dir.path), 0);
    std::vector<std::string> const files = dir.files();
    ASSERT_EQ(files.size(), 2u) << c.environment;
    std::string const& txt = files[0].find("_txtdev_") != std::string::npos ? files[0] : files[1];
    std::string const& xml = files[0].find("_xmldev_") != std::string::npos ? files[0] : files[1];
    EXPECT_EQ(txt.substr(txt.size() - 10), c.txt_suffix) << txt;
    EXPECT_EQ(xml.substr(xml.size() - 10), "_trace.xml") << xml;
    Doc doc = parse(read_all(xml));
    ASSERT_TRUE(doc) << xml;
    std::vector<xmlNode*> const msgs = children(xmlDocGetRootElement(doc.get()));
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(message_text(msgs[0]), "to xml");
    EXPECT_EQ(static_cast<bool>(parse(read_all(txt))), std::string(c.txt_suffix) == "_trace.xml");
  }
}

TEST(LogFileXmlHostTest, ThreadsNeverInterleaveRecords) {
  TempDir dir;
  ASSERT_EQ(
      run_host("xml_threads",
               "QZ_TRACE_XML=1 QZ_TRACE_LOGDIR=" + dir.path + " QZ_TRACE_CONFIGDIR=" + dir.path,
               ""),
      0);
  std::vector<std::string> const files = dir.files();
  ASSERT_GE(files.size(), 2u);
  unsigned rank = 0;
  std::set<std::string> tids;
  for (std::string const& file : files) {
    Doc doc = parse(read_all(file));
    ASSERT_TRUE(doc) << file;
    for (xmlNode* msg : children(xmlDocGetRootElement(doc.get()))) {
      EXPECT_EQ(attribute(msg, "Rank"), std::to_string(++rank));
      EXPECT_TRUE(std::regex_match(message_text(msg), std::regex("thread [0-3] <\\d+>")));
      tids.insert(attribute(msg, "Tid"));
    }
  }
  EXPECT_EQ(rank, 200u);
  EXPECT_EQ(tids.size(), 4u);
}

}  // namespace
}  // namespace Vantrel
