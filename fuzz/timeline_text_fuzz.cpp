// Fuzz target: the timeline's text log reader (see timeline_reader_fuzz.h).
#include "fuzz/timeline_reader_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return timeline_fuzz::read_one(data, size, &Timeline::read_text_log);
}
