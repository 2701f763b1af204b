// The objects behind the settable names: their reading, their limits, the two
// output channels and the identification text.
#include <algorithm>
#include <iostream>
#include <vector>

#include "config/ConfigTargets.h"

namespace Vantrel {
namespace ConfigTargets {

namespace {

std::int32_t clamp(std::int32_t value, std::int32_t low, std::int32_t high) {
  return std::min(std::max(value, low), high);
}

const char identification[] = "Vantrel C++ tracing library, built " __DATE__ " " __TIME__;

}  // namespace

std::int32_t SizeLhs::get() const { return static_cast<std::int32_t>(config->size); }

void SizeLhs::set(std::int32_t value) {
  config->size = static_cast<std::uint32_t>(clamp(value, 10, 1000000));
}

std::int32_t DisplayMaskLhs::get() const {
  return static_cast<std::int32_t>(config->effective_mask());
}

void DisplayMaskLhs::set(std::int32_t value) {
  config->display_mask = static_cast<std::uint32_t>(value);
}

std::int32_t DisplayWidthLhs::get() const { return config->*field; }

void DisplayWidthLhs::set(std::int32_t value) {
  config->*field = static_cast<std::uint16_t>(clamp(value, 0, 128));
}

void ConsultantLhs::set(const std::string& value) {
  text = value;
  config->set_consultant(value);
}

std::ostream& OutputFileLhs::stream() {
  if (buffer.is_open()) return file;
  return to_stderr ? std::cerr : std::cout;
}

// "-" and "--" pick a standard stream (switching the channel over when it is
// the other one); any other text names a new file. A file that cannot be
// created (its name exists, or the system refuses) leaves the channel on its
// standard stream, silently.
void OutputFileLhs::set(const std::string& value) {
  if (buffer.is_open()) buffer.close();
  name = default_name();
  if (value == name) return;
  if (value == (to_stderr ? "-" : "--")) {
    to_stderr = !to_stderr;
    name = default_name();
    return;
  }
  file.clear();
  if (buffer.create(value)) name = value;
}

namespace {

// Towers of Hanoi with four discs, drawn after every move.
class Hanoi {
 public:
  explicit Hanoi(std::ostream& out) : out_(out), pegs_(3) { pegs_[0] = {4, 3, 2, 1}; }
  void run() {
    draw();
    move(4, 0, 2, 1);
  }

 private:
  static constexpr int levels = 4;

  void move(int n, int from, int to, int spare) {
    if (n == 0) return;
    move(n - 1, from, spare, to);
    pegs_[to].push_back(pegs_[from].back());
    pegs_[from].pop_back();
    draw();
    move(n - 1, spare, to, from);
  }
  // One 7-character cell: a disc of size w is centred "X" * (2w - 1).
  std::string cell(int peg, int level) const {
    if (level >= static_cast<int>(pegs_[peg].size())) return "   |   ";
    const int w = pegs_[peg][level];
    return std::string(4 - w, ' ') + std::string(2 * w - 1, 'X') + std::string(4 - w, ' ');
  }
  void draw() {
    for (int level = levels - 1; level >= 0; --level)
      out_ << cell(0, level) << ' ' << cell(1, level) << ' ' << cell(2, level) << std::endl;
    const std::string base(7, '-');
    out_ << base << ' ' << base << ' ' << base << std::endl;
    out_ << std::endl;
  }

  std::ostream& out_;
  std::vector<std::vector<int>> pegs_;
};

}  // namespace

AboutLhs::AboutLhs(OutputFileLhs* output_channel) : output(output_channel), text(identification) {}

void AboutLhs::set(const std::string& value) {
  std::ostream& out = output->stream();
  out << text << std::endl;
  if (value == "hanoi") Hanoi(out).run();
}

}  // namespace ConfigTargets
}  // namespace Vantrel
