// The body of the timeline's fuzz targets: the input is one log file, read
// by the text or the XML reader, paired, and written as JSON, HTML, OTLP and
// a summary (to /dev/null). Whatever the bytes, the run must end without a sanitizer
// report; the readers are the tool's first contact with hostile files.
#ifndef VANTREL_FUZZ_TIMELINE_READER_FUZZ_H
#define VANTREL_FUZZ_TIMELINE_READER_FUZZ_H

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "tools/timeline/Diagnostics.h"
#include "tools/timeline/LogReader.h"
#include "tools/timeline/Outputs.h"
#include "tools/timeline/Pairing.h"

namespace timeline_fuzz {

using Reader = void (*)(std::FILE*, const std::string&, Timeline::RecordSink&,
                        Timeline::Diagnostics&);

inline int read_one(const std::uint8_t* data, std::size_t size, Reader reader) {
  if (size == 0) return 0;  // fmemopen refuses an empty buffer
  std::FILE* file = ::fmemopen(const_cast<std::uint8_t*>(data), size, "rb");
  if (!file) return 0;
  static std::FILE* sink = std::fopen("/dev/null", "w");
  static std::FILE* quiet = std::fopen("/dev/null", "w");
  Timeline::Diagnostics diagnostics(quiet);
  Timeline::Outputs outputs;
  outputs.add(std::make_unique<Timeline::JsonOutput>(sink));
  outputs.add(std::make_unique<Timeline::HtmlOutput>(sink, 0, "fuzz"));
  outputs.add(std::make_unique<Timeline::OtlpOutput>(sink));
  outputs.add(std::make_unique<Timeline::SummaryOutput>(sink, 0, true));
  Timeline::Pairing pairing(outputs, diagnostics);
  const std::string name = "input";
  pairing.begin_file(name);
  reader(file, name, pairing, diagnostics);
  pairing.finish();
  std::fclose(file);
  return 0;
}

}  // namespace timeline_fuzz

#endif  // VANTREL_FUZZ_TIMELINE_READER_FUZZ_H
