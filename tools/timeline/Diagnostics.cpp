#include "tools/timeline/Diagnostics.h"

namespace Timeline {

void Diagnostics::report(const std::string& file, std::size_t line, const std::string& what) {
  ++count_;
  if (file != current_file_) {
    current_file_ = file;
    file_count_ = 0;
  }
  if (++file_count_ > per_file_limit) return;
  if (line > 0)
    std::fprintf(out_, "vantrel-timeline: %s:%zu: %s\n", file.c_str(), line, what.c_str());
  else
    std::fprintf(out_, "vantrel-timeline: %s: %s\n", file.c_str(), what.c_str());
}

void Diagnostics::end_file(const std::string& file) {
  if (file == current_file_ && file_count_ > per_file_limit)
    std::fprintf(out_, "vantrel-timeline: %s: %zu more problems not shown\n", file.c_str(),
                 file_count_ - per_file_limit);
  current_file_.clear();
  file_count_ = 0;
}

}  // namespace Timeline
