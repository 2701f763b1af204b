// Config::parse where a case file cannot reach: the channels' files, the
// identification text and failing streams.
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "config_support.h"
#include "src/logfile_support.h"

namespace {

using config_test::run;
using config_test::RunResult;
using logfile_support::read_file;

// A new file receives the channel; an existing file or a symbolic link is
// never written, and the channel stays where it was.
TEST(ConfigParseTest, ChannelFilesAreNewFilesOnly) {
  const logfile_support::TempDir dir;
  const std::string out_path = dir.path + "/out", err_path = dir.path + "/err";
  const std::string link_path = dir.path + "/link";
  EXPECT_EQ(run("output_file = \"" + out_path + "\"; echo(\"x\"); echo(output_file);").out, "");
  EXPECT_EQ(run("output_file = \"" + out_path + "\"; print(\"y\");").out, "y");
  EXPECT_EQ(read_file(out_path), "x\n" + out_path + "\n");
  ASSERT_EQ(::symlink((out_path + ".new").c_str(), link_path.c_str()), 0);
  EXPECT_EQ(run("output_file = \"" + link_path + "\"; print(\"z\");").out, "z");
  EXPECT_NE(::access((out_path + ".new").c_str(), F_OK), 0) << "a link is not followed";
  const RunResult failed = run("error_file = \"" + err_path + "\";\nsize = 1 % 0;");
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.err, "");
  EXPECT_EQ(read_file(err_path), "error: division by zero: between line 2.12 and line 2.13\n");
}

// The identification line, once per assignment; "hanoi" adds the pictures.
TEST(ConfigParseTest, AboutWritesTheIdentificationText) {
  const std::string out = run("echo(about); about = \"x\";").out;
  const std::string first = out.substr(0, out.find('\n') + 1);
  EXPECT_EQ(first.rfind("Vantrel C++ tracing library", 0), 0u) << first;
  EXPECT_EQ(out, first + first);
  EXPECT_EQ(run("about = \"hanoi\";").out,
            first + read_file(VANTREL_SOURCE_DIR "/tests/src/config/cases/hanoi.txt"));
}

// A stream buffer that delivers a text, then throws.
struct FailingBuffer : std::streambuf {
  explicit FailingBuffer(std::string text) : text_(std::move(text)) {
    setg(&text_[0], &text_[0], &text_[0] + text_.size());
  }
  int_type underflow() override { throw std::runtime_error("device gone"); }
  std::string text_;
};

// Cut between statements or inside one (where the grammar alone would
// report what the cut statement lacks), the run fails as "wrong syntax" and
// leaves the record as it was; a stream already bad fails at once.
TEST(ConfigParseTest, StreamThatFailsMidReadIsWrongSyntax) {
  Vantrel::Config start;
  start.size = 300;
  for (const cases::Fields& c : cases::read("src/config/cases/stream_cut.txt")) {
    for (bool with_exceptions : {false, true}) {
      SCOPED_TRACE(c[0] + (with_exceptions ? " (exceptions)" : ""));
      FailingBuffer buffer(c[0]);
      std::istream in(&buffer);
      if (with_exceptions) in.exceptions(std::ios::badbit);
      const RunResult r = config_test::run_stream(in, start);
      EXPECT_EQ(std::make_tuple(r.ok, r.out, r.err, r.config.size),
                std::make_tuple(false, c[1], c[2], 300u));
    }
  }
  std::istringstream bad("size = 20;");
  bad.setstate(std::ios::badbit);
  EXPECT_EQ(config_test::run_stream(bad).err, "error: wrong syntax: at line 1.1\n");
}

}  // namespace
