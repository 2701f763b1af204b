#include "LogFileXml.h"

#include <SimpleTime.h>
#include <Vantrel.h>
#include <ZelTools/Portable.h>

#include <cstddef>
#include <exception>

#include "zeltools/native/ThreadId.h"

namespace Vantrel {

template class LogFileExt<XmlOfstream>;

namespace {

using ZelTools::Xml::Section;
using ZelTools::Xml::Tag;
using ZelTools::Xml::XmlOstream;

// The facts a Msg element shows besides its context, noted as it begins.
struct MsgFacts {
  unsigned rank = 0;
  long pid = 0;
  unsigned long tid = 0;
  bool unwinding = false;  // an exception is in flight in the writing thread
};

template <class T>
void put_attribute(XmlOstream& xml, Tag& tag, char const* name, T const& value) {
  tag.attribute(name);
  xml << value;
}

char const* scope_name(int tag) { return tag == Logger::Open ? "Open" : "Close"; }

// The attributes after Time.
void write_msg_facts(XmlOstream& xml, Tag& msg, MsgFacts const& facts,
                     Importance const& importance) {
  put_attribute(xml, msg, "Pid", facts.pid);
  put_attribute(xml, msg, "Tid", facts.tid);
  put_attribute(xml, msg, "Imp", importance.level_name());
  if (importance.severity != 0) put_attribute(xml, msg, "Sev", importance.severity_name());
  if (facts.unwinding) put_attribute(xml, msg, "Exc", "X");
}

// Root, Caller or Callee: written only when the step has names or ids; both
// attributes are then written, an empty one too.
void write_step(XmlOstream& xml, char const* element, Context::StepFields const& step) {
  if (!step.names.has_fields() && !step.ids.has_fields()) return;
  Tag tag(xml, element);
  put_attribute(xml, tag, "Name", step.names.text());
  put_attribute(xml, tag, "Id", step.ids.text());
}

void write_workflow(XmlOstream& xml, Context::Data const& data, int scope_tag) {
  Tag workflow(xml, "Workflow");
  {
    Tag tick(xml, "Tick");
    put_attribute(xml, tick, "Major", data.major_tick);
    put_attribute(xml, tick, "Minor", data.minor_tick);
  }
  {
    Tag depth(xml, "Depth");
    put_attribute(xml, depth, "Major", data.major_depth);
    put_attribute(xml, depth, "Minor", data.minor_depth);
    if (scope_tag != Logger::Plain) put_attribute(xml, depth, "Scope", scope_name(scope_tag));
  }
  write_step(xml, "Root", data.root);
  write_step(xml, "Caller", data.caller);
  write_step(xml, "Callee", data.callee);
}

// Always written when there is a context, empty when no actor is known. The
// consultant is the context's, not the settings' one.
void write_actors(XmlOstream& xml, Context::Data const& data) {
  Tag actors(xml, "Actors");
  struct Actor {
    char const* name;
    Context::SubFields const& fields;
  } const list[] = {{"User", data.user},
                    {"Architect", data.architect},
                    {"Developer", data.developer},
                    {"Consultant", data.consultant}};
  for (Actor const& actor : list) {
    if (actor.fields.has_fields()) put_attribute(xml, actors, actor.name, actor.fields.text());
  }
}

// The children before the text. The thread's own context record is touched
// by the writing thread only: an opening message counts before its elements,
// a closing one after them, so both show the same minor depth.
void write_context(XmlOstream& xml, Context::Data* data, int scope_tag) {
  if (data == nullptr) {
    if (scope_tag == Logger::Plain) return;
    Tag workflow(xml, "Workflow");
    put_attribute(xml, workflow, "Scope", scope_name(scope_tag));
    return;
  }
  if (scope_tag == Logger::Open) {
    data->minor_tick += 1;
    data->minor_depth += 1;
  }
  write_workflow(xml, *data, scope_tag);
  write_actors(xml, *data);
  if (scope_tag == Logger::Close) {
    data->minor_depth -= 1;
    data->minor_tick += 1;
  }
}

}  // namespace

LogFileXml::LogFileXml(const DeviceInfo& info_) : LogFileExt<XmlOfstream>(info_) {}

LogFileXml::~LogFileXml() { msg.reset(); }

std::ostream* LogFileXml::do_header_record() {
  MsgFacts facts;
  facts.rank = rank;
  facts.pid = ZelTools::Portable::Process().id();
  facts.tid = ZelTools::Native::current_thread_id();
  facts.unwinding = std::uncaught_exceptions() > 0;
  XmlOstream& xml = stream->xml;
  msg.reset();  // a record left unfinished ends here, in its own document
  msg.emplace(xml, "Msg");
  put_attribute(xml, *msg, "Rank", facts.rank);
  write_time_attribute();
  write_msg_facts(xml, *msg, facts, *record.importance);
  write_context(xml, record.data, record.tag);
  xml.text();
  return xml.data();
}

void LogFileXml::write_time_attribute() {
  XmlOstream& xml = stream->xml;
  SimpleTime::PhysicalTime const now = SimpleTime::clock().now();
  msg->attribute("Time");
  std::size_t length = 0;
  if (char const* text = time_text.text(now, length)) {
    xml << text;
  } else {
    RecordTimeText::print_whole(*xml.data(), now);
  }
}

void LogFileXml::do_footer_record() {
  if (!msg || !stream) return;
  XmlOstream& xml = stream->xml;
  Importance const& importance = *record.importance;
  if (importance.file != nullptr) {
    Tag source(xml, "Source");
    put_attribute(xml, source, "File", importance.file);
    put_attribute(xml, source, "Line", importance.line);
  }
  if (nested_lost_flag) {
    Section lost(xml, false);
    xml << "Lost Nested Trace";
  }
  msg.reset();
  // A record is whole on disk once its logger has ended, even if the host
  // is killed before the next one (the text format flushes with its line).
  stream->target().flush();
}

}  // namespace Vantrel
