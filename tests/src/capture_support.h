// A log file for the default destination that keeps its records in memory,
// swapped in from the only thread (so for tests built without the analysis).
#ifndef VANTREL_TESTS_SRC_CAPTURE_SUPPORT_H
#define VANTREL_TESTS_SRC_CAPTURE_SUPPORT_H

#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Library.h"
#include "LogFile.h"
#include "Logos.h"

namespace capture_support {

struct Captured {
  unsigned rank;
  int tag;
  std::string text;
  bool nested_lost;
};

// Guarded, like any log file, by the message lock.
class CaptureLogFile : public Vantrel::LogFile {
 public:
  std::vector<Captured> records;
  bool fail_on_header = false;

  static CaptureLogFile* install() {
    auto* capture = new CaptureLogFile;
    Vantrel::default_logos()->log_file.reset(capture);
    return capture;
  }
  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const Captured& r : records) result.push_back(r.text);
    return result;
  }

 protected:
  std::ostream* do_header_record() override {
    if (fail_on_header) throw std::runtime_error("disk gone");
    current_.str("");
    return &current_;
  }
  void do_footer_record() override {
    records.push_back({rank, record.tag, current_.str(), nested_lost_flag});
  }

 private:
  std::ostringstream current_;
};

}  // namespace capture_support

#endif  // VANTREL_TESTS_SRC_CAPTURE_SUPPORT_H
