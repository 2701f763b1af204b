// The XML log reader, on expat. A document is one root element Vantrel
// (attributes Process and Pid) with one Msg element per record:
//   <Msg Rank="3" Time="2007/10/18 21:21:07.045" Pid="4242" Tid="3520" Imp="&gt;=" Sev="W">
//   <Workflow><Tick .../><Depth Major="1" Minor="1" Scope="Open"/>
//   <Root Name="order" Id="7"/><Caller .../><Callee .../></Workflow>
//   <Actors User="ann"/>
//   check#c
//   </Msg>
// While the input has the writer's shape, XmlScan reads it, record by
// record, several times faster than expat; from the first byte it does not
// take (anything unusual, damaged or cut off) the rest of the file goes to
// expat, which decides what it means. After a syntax error (a record of
// another format, a damaged block) the reader reports it and resumes at the
// next "<Msg" of the file with a fresh parser; a file that ends inside the
// document (a killed process) keeps the records before the cut.
#include <expat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/timeline/LogReader.h"
#include "tools/timeline/XmlScan.h"

namespace Timeline {
namespace {

constexpr std::size_t block_size = 1 << 20;
// A record longer than this goes to expat rather than being scanned again
// after every block.
constexpr std::size_t max_scanned_record = 4 << 20;

bool is(const XML_Char* name, const char* expected) { return std::strcmp(name, expected) == 0; }

std::int64_t to_integer(const XML_Char* text) { return std::strtoll(text, nullptr, 10); }

constexpr std::int64_t max_id = (std::int64_t{1} << 31) - 1;

// A process or thread id: 1 to 10 digits, below 2^31; -1 otherwise.
std::int64_t to_id(const XML_Char* text) {
  std::size_t length = std::strlen(text);
  if (length == 0 || length > 10 || std::strspn(text, "0123456789") != length) return -1;
  std::int64_t id = to_integer(text);
  return id <= max_id ? id : -1;
}

class XmlReader : private XmlScan::Handler {
 public:
  XmlReader(std::FILE* file, const std::string& path, RecordSink& sink, Diagnostics& diagnostics,
            bool scan)
      : file_(file), path_(path), sink_(sink), diagnostics_(diagnostics), fast_(scan) {}
  ~XmlReader() override {
    if (parser_) XML_ParserFree(parser_);
  }
  XmlReader(const XmlReader&) = delete;
  XmlReader& operator=(const XmlReader&) = delete;

  void run();

 private:
  static void XMLCALL on_start(void* self, const XML_Char* name, const XML_Char** attributes);
  static void XMLCALL on_end(void* self, const XML_Char* name);
  static void XMLCALL on_text(void* self, const XML_Char* text, int length);

  void start(const XML_Char* name, const XML_Char** attributes) override;
  void end() override { on_end(this, nullptr); }
  void start_msg(const XML_Char** attributes);
  void start_child(const XML_Char* name, const XML_Char** attributes);
  void end_msg();
  void text(const XML_Char* text, int length) override;

  void scan(const std::string& pending, std::size_t& at, bool end_of_file);
  bool scan_root(const std::string& pending, std::size_t& at, bool end_of_file);
  static std::size_t blanks_end(const std::string& pending, std::size_t from);
  void advance(const std::string& pending, std::size_t& at, std::size_t to);
  void hand_to_expat(const std::string& pending, std::size_t at);
  void new_parser(bool stand_in_root);
  void parse_block(const char* block, std::size_t length);
  bool resync(const char* block, std::size_t length, std::size_t& from);
  void finish();
  std::size_t line() const;

  std::FILE* file_;
  const std::string& path_;
  RecordSink& sink_;
  Diagnostics& diagnostics_;
  XML_Parser parser_ = nullptr;
  bool resumed_ = false;       // the parser started at a "<Msg" after an error
  long long prefix_ = 0;       // bytes of the stand-in root fed before the input
  bool seeking_ = false;       // skipping input up to the next "<Msg"
  std::size_t line_base_ = 0;  // file lines before the parser's first byte
  std::size_t lines_before_block_ = 0;
  // Offsets in the input that expat reads (the file, or its part from the
  // scanner's last record on).
  long long parser_start_ = 0;  // offset of the parser's first byte
  long long block_start_ = 0;   // offset of the current block
  int depth_ = 0;               // open elements, the root being 1
  int msg_depth_ = 0;           // depth of the open Msg, 0 when none
  bool time_seen_ = false;
  bool ids_valid_ = true;
  bool text_closed_ = false;  // the Msg text ended (a child follows it)
  bool stray_text_reported_ = false;
  bool fast_;                   // XmlScan reads; expat from the first byte it does not take
  bool rooted_ = false;         // XmlScan read the root's start tag
  std::size_t scan_lines_ = 0;  // file lines before that byte
  XmlScan scanner_;
  TimeParser times_;
  Record record_;
};

void XMLCALL XmlReader::on_start(void* self, const XML_Char* name, const XML_Char** attributes) {
  static_cast<XmlReader*>(self)->start(name, attributes);
}
void XMLCALL XmlReader::on_end(void* self, const XML_Char*) {
  XmlReader& reader = *static_cast<XmlReader*>(self);
  if (reader.msg_depth_ == reader.depth_) reader.end_msg();
  // Line breaks between the leading children are layout, not message text.
  if (reader.msg_depth_ + 1 == reader.depth_ && !reader.text_closed_) reader.record_.text.clear();
  --reader.depth_;
}
void XMLCALL XmlReader::on_text(void* self, const XML_Char* text, int length) {
  static_cast<XmlReader*>(self)->text(text, length);
}

std::size_t XmlReader::line() const {
  if (!parser_) return scan_lines_ + 1;
  return line_base_ + static_cast<std::size_t>(XML_GetCurrentLineNumber(parser_));
}

void XmlReader::start(const XML_Char* name, const XML_Char** attributes) {
  ++depth_;
  stray_text_reported_ = false;
  if (msg_depth_ > 0) return start_child(name, attributes);
  if (is(name, "Msg")) return start_msg(attributes);
  if (depth_ == 1 && is(name, "Vantrel")) {
    std::string process;
    std::int64_t pid = 0;
    for (const XML_Char** a = attributes; *a; a += 2) {
      if (is(a[0], "Process")) process = a[1];
      if (is(a[0], "Pid")) pid = to_id(a[1]);
    }
    if (!process.empty() && pid >= 0) sink_.process_name(pid, process);
    return;
  }
  if (depth_ == 1)
    diagnostics_.report(path_, line(), std::string("not a Vantrel log: root ") + name);
}

void XmlReader::start_msg(const XML_Char** attributes) {
  record_.clear();
  record_.line = line();
  msg_depth_ = depth_;
  time_seen_ = false;
  ids_valid_ = true;
  text_closed_ = false;
  for (const XML_Char** a = attributes; *a; a += 2) {
    const XML_Char* value = a[1];
    if (is(a[0], "Rank")) {
      record_.has_rank = true;
      record_.rank = static_cast<std::uint64_t>(to_integer(value));
    } else if (is(a[0], "Time")) {
      time_seen_ = std::strlen(value) >= 23 && times_.parse(value, record_.time_ms);
    } else if (is(a[0], "Pid")) {
      record_.pid = to_id(value);
      ids_valid_ = ids_valid_ && record_.pid >= 0;
    } else if (is(a[0], "Tid")) {
      std::int64_t tid = to_id(value);
      ids_valid_ = ids_valid_ && tid >= 0;
      record_.tid = static_cast<std::uint64_t>(tid);
    } else if (is(a[0], "Imp")) {
      record_.level = level_from_mark(value, std::strlen(value));
    } else if (is(a[0], "Sev")) {
      record_.severity = value[0] ? value[0] : ' ';
    } else if (is(a[0], "Exc")) {
      record_.exception = true;
    }
  }
}

void XmlReader::start_child(const XML_Char* name, const XML_Char** attributes) {
  // A child after the text (Source) ends the text.
  if (depth_ == msg_depth_ + 1 && record_.text.find_first_not_of('\n') != std::string::npos)
    text_closed_ = true;
  const XML_Char* step_name = "";
  const XML_Char* step_id = "";
  const XML_Char* source_file = "";
  const XML_Char* source_line = "";
  for (const XML_Char** a = attributes; *a; a += 2) {
    const XML_Char* key = a[0];
    const XML_Char* value = a[1];
    if (is(key, "Scope"))
      record_.tag = is(value, "Open") ? Tag::Open : (is(value, "Close") ? Tag::Close : Tag::Plain);
    else if (is(key, "Name"))
      step_name = value;
    else if (is(key, "Id"))
      step_id = value;
    else if (is(key, "User"))
      record_.context.user = value;
    else if (is(key, "Architect"))
      record_.context.architect = value;
    else if (is(key, "Developer"))
      record_.context.developer = value;
    else if (is(key, "Consultant"))
      record_.context.consultant = value;
    else if (is(key, "File"))
      source_file = value;
    else if (is(key, "Line"))
      source_line = value;
  }
  std::string* step = is(name, "Root")     ? &record_.context.root
                      : is(name, "Caller") ? &record_.context.caller
                      : is(name, "Callee") ? &record_.context.callee
                                           : nullptr;
  if (step) {
    *step = step_name;
    if (*step_id) (*step += '#') += step_id;
  }
  if (is(name, "Source")) ((record_.source = source_file) += ':') += source_line;
}

void XmlReader::end_msg() {
  msg_depth_ = 0;
  // The writer puts the text on lines of its own.
  std::string& text = record_.text;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (!text.empty() && text.front() == '\n') text.erase(0, 1);
  if (!time_seen_) {
    diagnostics_.report(path_, record_.line, "record without a valid Time; skipped");
    return;
  }
  if (!ids_valid_) {
    diagnostics_.report(path_, record_.line,
                        "process or thread id not a number below 2^31; record skipped");
    return;
  }
  sink_.record(record_);
}

void XmlReader::text(const XML_Char* text, int length) {
  if (msg_depth_ > 0) {
    if (depth_ == msg_depth_ && !text_closed_)
      record_.text.append(text, static_cast<std::size_t>(length));
    return;
  }
  if (stray_text_reported_) return;
  const XML_Char* end = text + length;
  if (std::find_if(text, end,
                   [](char c) { return c != ' ' && c != '\n' && c != '\r' && c != '\t'; }) == end)
    return;
  stray_text_reported_ = true;
  diagnostics_.report(path_, line(), "text outside a record (a record of another format?)");
}

void XmlReader::new_parser(bool stand_in_root) {
  if (parser_) XML_ParserFree(parser_);
  parser_ = XML_ParserCreate("UTF-8");
  XML_SetUserData(parser_, this);
  XML_SetElementHandler(parser_, &XmlReader::on_start, &XmlReader::on_end);
  XML_SetCharacterDataHandler(parser_, &XmlReader::on_text);
  resumed_ = false;
  prefix_ = 0;
  depth_ = 0;
  msg_depth_ = 0;
  if (stand_in_root) {
    // A stand-in root, so that the records after the damage parse as children.
    static const char root[] = "<Vantrel>";
    prefix_ = sizeof root - 1;
    XML_Parse(parser_, root, static_cast<int>(prefix_), 0);
  }
}

void XmlReader::run() {
  std::FILE* file = file_;
  std::vector<char> block(block_size);
  std::string pending;  // bytes read that XmlScan has not taken
  std::size_t at = 0;
  while (fast_) {
    pending.erase(0, at);
    at = 0;
    std::size_t n = std::fread(block.data(), 1, block.size(), file);
    pending.append(block.data(), n);
    scan(pending, at, n == 0);
  }
  if (!parser_) new_parser(false);
  for (std::size_t n; (n = std::fread(block.data(), 1, block.size(), file)) > 0;) {
    parse_block(block.data(), n);
    block_start_ += static_cast<long long>(n);
    lines_before_block_ +=
        static_cast<std::size_t>(std::count(block.data(), block.data() + n, '\n'));
  }
  finish();
}

// Takes the records of `pending` from `at` on while they have the writer's
// shape; hands the rest to expat at the first one that does not, or at the
// end of the file (the root's end tag and anything after it are expat's).
void XmlReader::scan(const std::string& pending, std::size_t& at, bool end_of_file) {
  if (!rooted_ && !scan_root(pending, at, end_of_file)) return;
  for (;;) {
    advance(pending, at, blanks_end(pending, at));
    const std::size_t left = pending.size() - at;
    if (left < 2 && !end_of_file) return;
    const char* data = pending.data();
    if (left < 2 || data[at] != '<' || data[at + 1] == '/') return hand_to_expat(pending, at);
    const char* stop = nullptr;
    XmlScan::Result result = scanner_.element(data + at, data + pending.size(), stop);
    if (result == XmlScan::Result::Incomplete && !end_of_file && left < max_scanned_record) return;
    if (result != XmlScan::Result::Done || !is(scanner_.name(), "Msg"))
      return hand_to_expat(pending, at);
    scanner_.replay(*this);
    advance(pending, at, static_cast<std::size_t>(stop - data));
  }
}

// The declaration the writer puts first and the root's start tag; false
// while they are not all read, or when the file starts otherwise (then all
// of it is expat's).
bool XmlReader::scan_root(const std::string& pending, std::size_t& at, bool end_of_file) {
  static const char declaration[] = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
  std::size_t root = blanks_end(
      pending,
      pending.compare(0, sizeof declaration - 1, declaration) == 0 ? sizeof declaration - 1 : 0);
  const char* data = pending.data();
  const char* stop = nullptr;
  XmlScan::Result result = root < pending.size() && data[root] == '<'
                               ? scanner_.element(data + root, data + pending.size(), stop, true)
                               : XmlScan::Result::Foreign;
  if (result == XmlScan::Result::Incomplete && !end_of_file) return false;
  if (result != XmlScan::Result::Done || !is(scanner_.name(), "Vantrel") ||
      scanner_.open_elements() != 1) {
    hand_to_expat(pending, 0);
    return false;
  }
  scanner_.replay(*this);
  advance(pending, at, static_cast<std::size_t>(stop - data));  // `at` is 0 here
  rooted_ = true;
  return true;
}

// The first byte at or after `from` that is not white space the scanner takes.
std::size_t XmlReader::blanks_end(const std::string& pending, std::size_t from) {
  while (from < pending.size() &&
         (pending[from] == '\n' || pending[from] == ' ' || pending[from] == '\t'))
    ++from;
  return from;
}

// Moves `at` to `to`, counting the lines passed.
void XmlReader::advance(const std::string& pending, std::size_t& at, std::size_t to) {
  scan_lines_ += static_cast<std::size_t>(std::count(
      pending.begin() + static_cast<long>(at), pending.begin() + static_cast<long>(to), '\n'));
  at = to;
}

// From byte `at` of `pending` on, expat reads: after the root's start tag
// under a stand-in root, as after a resumption, but the document's end is
// still checked.
void XmlReader::hand_to_expat(const std::string& pending, std::size_t at) {
  fast_ = false;
  new_parser(rooted_);
  line_base_ = lines_before_block_ = scan_lines_;
  parser_start_ = block_start_ = 0;
  const std::size_t length = pending.size() - at;
  parse_block(pending.data() + at, length);
  block_start_ += static_cast<long long>(length);
  lines_before_block_ += static_cast<std::size_t>(
      std::count(pending.begin() + static_cast<long>(at), pending.end(), '\n'));
}

// Parses a block. On a syntax error, reports it, skips to the next "<Msg"
// and goes on with a fresh parser from there.
void XmlReader::parse_block(const char* block, std::size_t length) {
  std::size_t from = 0;
  while (from < length) {
    if (seeking_ && !resync(block, length, from)) return;
    if (XML_Parse(parser_, block + from, static_cast<int>(length - from), 0) == XML_STATUS_OK)
      return;
    diagnostics_.report(path_, line(),
                        std::string("XML error: ") + XML_ErrorString(XML_GetErrorCode(parser_)) +
                            (msg_depth_ > 0 ? "; the record is dropped" : ""));
    long long error_at = XML_GetCurrentByteIndex(parser_) - prefix_ + parser_start_;
    std::size_t in_block =
        error_at > block_start_ ? static_cast<std::size_t>(error_at - block_start_) : 0;
    from = std::max(from, std::min(in_block, length)) + 1;
    seeking_ = true;
  }
}

// Looks for "<Msg" in block[from, length); when found, starts a fresh parser
// there and moves `from` to it. False when the block holds none.
bool XmlReader::resync(const char* block, std::size_t length, std::size_t& from) {
  static const char mark[] = "<Msg";
  const char* end = block + length;
  const char* found = std::search(block + from, end, mark, mark + sizeof mark - 1);
  if (found == end) return false;
  from = static_cast<std::size_t>(found - block);
  seeking_ = false;
  new_parser(true);
  resumed_ = true;
  parser_start_ = block_start_ + static_cast<long long>(from);
  line_base_ = lines_before_block_ + static_cast<std::size_t>(std::count(block, found, '\n'));
  return true;
}

void XmlReader::finish() {
  if (seeking_ || !parser_) return;
  if (XML_Parse(parser_, nullptr, 0, 1) == XML_STATUS_OK) return;
  XML_Error error = XML_GetErrorCode(parser_);
  bool inside_tag = error == XML_ERROR_UNCLOSED_TOKEN || error == XML_ERROR_PARTIAL_CHAR;
  if (msg_depth_ > 0 || (inside_tag && depth_ > 0))
    diagnostics_.report(path_, msg_depth_ > 0 ? record_.line : line(),
                        "the file ends inside this record (cut off?); dropped");
  else if (!resumed_)
    diagnostics_.report(path_, line(),
                        "the document ends without its end tag (process killed or still running?)");
}

}  // namespace

void read_xml_log(std::FILE* file, const std::string& name, RecordSink& sink,
                  Diagnostics& diagnostics) {
  XmlReader(file, name, sink, diagnostics, true).run();
}

void read_xml_log_with_expat(std::FILE* file, const std::string& name, RecordSink& sink,
                             Diagnostics& diagnostics) {
  XmlReader(file, name, sink, diagnostics, false).run();
}

}  // namespace Timeline
