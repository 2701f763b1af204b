#include "XmlOfstream.h"

#include <SimpleTime.h>
#include <ZelTools/Portable.h>

#include <sstream>

namespace Vantrel {

namespace {

#ifdef NDEBUG
constexpr char const* compile_option = "release";
#else
constexpr char const* compile_option = "debug";
#endif

#define VANTREL_XML_TEXT(x) #x
#define VANTREL_XML_VALUE(x) VANTREL_XML_TEXT(x)
#if defined(__clang__)
constexpr char const* compiler = "Clang (__clang_major__ = " VANTREL_XML_VALUE(__clang_major__) ")";
#elif defined(__GNUC__)
constexpr char const* compiler = "GCC (__GNUC__ = " VANTREL_XML_VALUE(__GNUC__) ")";
#else
constexpr char const* compiler = "unknown (none = 0)";
#endif
#undef VANTREL_XML_VALUE
#undef VANTREL_XML_TEXT

// The style of printed times: "2007/10/18 21:21:07.045".
const SimpleTime::UtcTime::Separator printed_time{'/', ' ', ':', '.'};

}  // namespace

std::string build_identification() {
  std::ostringstream text;
  text << "Build " << compile_option << " at " << __DATE__ << " " << __TIME__ << " on linux "
       << compiler;
  return text.str();
}

XmlOfstream::XmlOfstream(const std::string& name)
    : LogOfstream(name),
      xml(target(), ZelTools::Xml::Indent(ZelTools::Xml::Indent::Lines)),
      root(xml, "Vantrel") {
  write_root_attributes();
}

XmlOfstream::XmlOfstream()
    : LogOfstream(),
      xml(target(), ZelTools::Xml::Indent(ZelTools::Xml::Indent::Lines)),
      root(xml, "Vantrel") {
  write_root_attributes();
}

XmlOfstream::~XmlOfstream() {
  // Members end after this body: `root` writes its end tag into the re-opened
  // file, then `xml` goes, then the LogOfstream base closes the file.
  re_open();
}

void XmlOfstream::write_root_attributes() {
  ZelTools::Portable::Process const process;
  root.attribute("LogFile");
  xml << name;
  root.attribute("Process");
  xml << process.name();
  root.attribute("Name");
  xml << "TODO: NYI: name";
  root.attribute("Pid");
  xml << process.id();
  root.attribute("Time");
  SimpleTime::UtcTime(SimpleTime::clock().now()).print(*xml.data(), printed_time);
  root.attribute("Build");
  xml << build_identification();
}

}  // namespace Vantrel
