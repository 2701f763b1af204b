// XmlOfstream: the output stream of an XML log file; each stream is one XML
// document.
//
// Created by a LogFileExt<XmlOfstream> (the LogFileXml of an "xml"
// destination) when a record needs an output, and deleted by it on rotation or
// when the log file ends. Like every log-file class it takes no lock: the
// destination's message lock is held around every call and guards its
// members.
//
// Construction writes the document's beginning, destruction its end, so every
// file that an XmlOfstream wrote is a complete document, also one that was
// closed meanwhile because the settings became inactive (it is re-opened for
// appending first):
//   <?xml version="1.0" encoding="UTF-8"?>
//   <Vantrel
//   LogFile="/var/log/app/server_4242_2007_10_18_21_21_07_045_trace.xml"
//   Process="server"
//   Name="TODO: NYI: name"
//   Pid="4242"
//   Time="2007/10/18 21:21:07.045"
//   Build="Build release at Dec  5 2026 22:51:07 on linux GCC (__GNUC__ = 12)">
//   ... one Msg element per record ...
//   </Vantrel>
#ifndef VANTREL_SRC_XMLOFSTREAM_H
#define VANTREL_SRC_XMLOFSTREAM_H

#include <string>

#include "LogOfstream.h"
#include "zeltools/xml/Xml.h"

namespace Vantrel {

class XmlOfstream : public LogOfstream {
 public:
  // A file stream: creates `name` as a new file and begins the document.
  explicit XmlOfstream(const std::string& name);
  // The screen stream: begins the document on std::cout.
  XmlOfstream();
  // Re-opens a closed file for appending (only the file it created), writes
  // the root's end tag and closes the file. Never throws.
  ~XmlOfstream() override;

  // The document's writer (Lines layout) on target(), and its root element.
  // Guarded by the destination's message lock.
  ZelTools::Xml::XmlOstream xml;
  ZelTools::Xml::Tag root;

 private:
  // The root's attributes LogFile, Process, Name, Pid, Time, Build.
  void write_root_attributes();
};

// The build identification of the root's Build attribute, fixed when the
// library was compiled:
//   "Build release at Dec  5 2026 22:51:07 on linux GCC (__GNUC__ = 12)"
//   "Build debug at Dec  5 2026 22:51:07 on linux Clang (__clang_major__ = 14)"
std::string build_identification();

}  // namespace Vantrel

#endif  // VANTREL_SRC_XMLOFSTREAM_H
