// The objects behind the settable names of the configuration language: each
// reads and writes one field of the run's working copy of the settings, or
// one of the run's output channels. A ConfigRun owns one of each; the scanner
// hands out pointers to them as the values of the names' tokens.
#ifndef VANTREL_SRC_CONFIG_CONFIGTARGETS_H
#define VANTREL_SRC_CONFIG_CONFIGTARGETS_H

#include <cstdint>
#include <ostream>
#include <string>

#include "LogOfstream.h"
#include "Vantrel.h"

namespace Vantrel {
namespace ConfigTargets {

// A settable int name. set may adjust the value (clamping).
struct IntLhs {
  virtual ~IntLhs() = default;
  virtual std::int32_t get() const = 0;
  virtual void set(std::int32_t value) = 0;
};

// A settable string name.
struct StrLhs {
  virtual ~StrLhs() = default;
  virtual const std::string& get() const = 0;
  virtual void set(const std::string& value) = 0;
};

// "size": clamped to 10..1000000.
struct SizeLhs : IntLhs {
  explicit SizeLhs(Config* c) : config(c) {}
  std::int32_t get() const override;
  void set(std::int32_t value) override;
  Config* config;
};

// "display_mask": reads the effective mask, stores the value unchanged.
struct DisplayMaskLhs : IntLhs {
  explicit DisplayMaskLhs(Config* c) : config(c) {}
  std::int32_t get() const override;
  void set(std::int32_t value) override;
  Config* config;
};

// The five column widths, each clamped to 0..128.
struct DisplayWidthLhs : IntLhs {
  DisplayWidthLhs(Config* c, std::uint16_t Config::*f) : config(c), field(f) {}
  std::int32_t get() const override;
  void set(std::int32_t value) override;
  Config* config;
  std::uint16_t Config::*field;
};

// "consultant": reads the text last assigned in this run; an assignment
// also copies its first 63 characters into the record.
struct ConsultantLhs : StrLhs {
  explicit ConsultantLhs(Config* c) : config(c) {}
  const std::string& get() const override { return text; }
  void set(const std::string& value) override;
  Config* config;
  std::string text;
};

// "output_file" and "error_file": a channel the run's statements write to.
// "-" names standard output, "--" standard error, anything else a file,
// created new as a log file is (an existing name is never written).
struct OutputFileLhs : StrLhs {
  explicit OutputFileLhs(bool to_stderr_)
      : file(&buffer), to_stderr(to_stderr_), name(default_name()) {}
  const std::string& get() const override { return name; }
  void set(const std::string& value) override;
  std::ostream& stream();
  std::string default_name() const { return to_stderr ? "--" : "-"; }
  LogFileBuffer buffer;  // the file's descriptor; closed (and flushed) at the end
  std::ostream file;     // writes into buffer
  bool to_stderr;
  std::string name;
};

// "about": reads the library's identification text; any assignment writes
// it to the output channel ("hanoi" adds a small animation).
struct AboutLhs : StrLhs {
  explicit AboutLhs(OutputFileLhs* output_channel);
  const std::string& get() const override { return text; }
  void set(const std::string& value) override;
  OutputFileLhs* output;
  std::string text;
};

}  // namespace ConfigTargets
}  // namespace Vantrel

#endif  // VANTREL_SRC_CONFIG_CONFIGTARGETS_H
