// LogFileXml: the log file of an "xml" destination, writing each message as
// one Msg element of an XML document (one document per file).
//
// Made by LogFileExtFactory<LogFileXml> for a Logos and owned by it (see
// LogFile.h); it takes no lock, the destination's message lock being held
// around every call. Between records no element below the document's root is
// open; during a record `msg` holds the open Msg element. Its only side
// effect beyond the output is advancing the writing thread's minor tick and
// depth on opening and closing messages.
//
// A record of an opening Warning message with a context, in the Lines layout:
//   <Msg
//   Rank="1234"
//   Time="2007/10/18 21:21:07.045"
//   Pid="4242"
//   Tid="3520"
//   Imp="&gt;="
//   Sev="W">
//   <Workflow>
//   <Tick
//   Major="5"
//   Minor="3"/>
//   <Depth
//   Major="2"
//   Minor="1"
//   Scope="Open"/>
//   <Callee
//   Name="order/check"
//   Id="17"/>
//   </Workflow>
//   <Actors
//   User="ann"/>
//   start &lt;now&gt;
//   <Source
//   File="main.cpp"
//   Line="42"/>
//   </Msg>
// Sev only for a severity, Exc="X" while an exception is in flight; without a
// context, a Workflow element with only a Scope for opening and closing
// messages; the comment <!--Lost Nested Trace--> before the end tag when a
// nested message of the same thread was dropped.
#ifndef VANTREL_SRC_LOGFILEXML_H
#define VANTREL_SRC_LOGFILEXML_H

#include <SimpleTime.h>

#include <optional>
#include <ostream>

#include "LogFile.h"
#include "RecordTime.h"
#include "XmlOfstream.h"
#include "zeltools/xml/Xml.h"

namespace Vantrel {

class LogFileXml : public LogFileExt<XmlOfstream> {
 public:
  explicit LogFileXml(const DeviceInfo& info);
  // Closes a Msg left open, before the base completes the document.
  ~LogFileXml() override;

  // The base's sink, marked as an XML document.
  CrashSink crash_sink() const override {
    CrashSink sink = LogFileExt<XmlOfstream>::crash_sink();
    sink.xml = true;
    return sink;
  }

 protected:
  // Opens the Msg element, writes its attributes and its Workflow and Actors
  // children, starts its text; returns the escaping text stream.
  std::ostream* do_header_record() override;
  // Writes the Source element and the nested-trace comment, closes the Msg.
  void do_footer_record() override;

 private:
  // Writes the Time attribute of the Msg element.
  void write_time_attribute();

  // The open Msg element of the current record; guarded by the message lock.
  std::optional<ZelTools::Xml::Tag> msg;
  // The record time's text, guarded by the message lock.
  RecordTimeText time_text;
};

extern template class LogFileExt<XmlOfstream>;

}  // namespace Vantrel

#endif  // VANTREL_SRC_LOGFILEXML_H
