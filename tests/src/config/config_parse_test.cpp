// Settings targets (limits, reading, channels, about), Config::parse in both
// forms, Config::print, and streams that fail while they are read.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Vantrel.h"
#include "config_support.h"
#include "src/logfile_support.h"

namespace {

using Vantrel::Config;

using config_test::printed;
using config_test::run;
using config_test::run_stream;
using config_test::RunResult;

using logfile_support::read_file;

std::string temp_path(const std::string& leaf) {
  return testing::TempDir() + "vantrel_config_" + std::to_string(::getpid()) + "_" + leaf;
}

struct IntCase {
  const char* text;
  const char* out;
  std::uint32_t Config::*field;
  std::uint32_t value;
};

TEST(ConfigParseTest, IntTargetsClampAndRead) {
  const IntCase cases[] = {
      {"size = 5;", "", &Config::size, 10},
      {"size = 2000000;", "", &Config::size, 1000000},
      {"size = 5; echo(string(size));", "10\n", &Config::size, 10},
      {"size = -1;", "", &Config::size, 10},
      {"display_mask = 0; echo(string(display_mask));", "4194557\n", &Config::display_mask, 0},
      {"display_mask = -1; echo(string(display_mask));", "33554431\n", &Config::display_mask,
       0xffffffffu},
      {"display_mask = rank_mask | time_mask;", "", &Config::display_mask, 3},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const RunResult r = run(c.text);
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.config.*c.field, c.value);
  }
}

TEST(ConfigParseTest, WidthsClampTo0Through128) {
  const std::pair<const char*, std::uint16_t Config::*> widths[] = {
      {"major_steps_display_width", &Config::major_steps_display_width},
      {"minor_steps_display_width", &Config::minor_steps_display_width},
      {"workflow_names_display_width", &Config::workflow_names_display_width},
      {"workflow_ids_display_width", &Config::workflow_ids_display_width},
      {"actors_display_width", &Config::actors_display_width},
  };
  const std::pair<const char*, int> values[] = {{"-3", 0}, {"500", 128}, {"17", 17}};
  for (const auto& w : widths) {
    for (const auto& v : values) {
      const std::string text =
          std::string(w.first) + " = " + v.first + "; echo(string(" + w.first + "));";
      SCOPED_TRACE(text);
      const RunResult r = run(text);
      EXPECT_EQ(r.config.*w.second, v.second);
      EXPECT_EQ(r.out, std::to_string(v.second) + "\n");
    }
  }
}

TEST(ConfigParseTest, ConsultantKeepsItsTextTheRecordKeeps63) {
  const std::string long_name(100, 'c');
  const RunResult r = run("consultant = \"" + long_name + "\"; echo(consultant);");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, long_name + "\n");
  EXPECT_EQ(std::string(r.config.consultant), long_name.substr(0, 63));

  Config start;
  start.set_consultant("earlier");
  const RunResult fresh = run("echo(consultant);", start);
  EXPECT_EQ(fresh.out, "\n");
  EXPECT_STREQ(fresh.config.consultant, "earlier");
}

TEST(ConfigParseTest, RunStartsFromTheRecordAndFailureLeavesItUnchanged) {
  Config start;
  start.size = 400;
  start.active = true;
  start.set_consultant("kept");
  const RunResult r = run("echo(string(size) + active); keep = true;", start);
  EXPECT_EQ(r.out, "400true\n");
  EXPECT_TRUE(r.config.keep);
  EXPECT_EQ(r.config.size, 400u);

  const RunResult failed =
      run("size = 20; consultant = \"new\"; active = false; 1 < 2 < 3;", start);
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(printed(failed.config), printed(start));
  EXPECT_STREQ(failed.config.consultant, "kept");

  const RunResult empty = run("", start);
  EXPECT_TRUE(empty.ok);
  EXPECT_EQ(printed(empty.config), printed(start));
  EXPECT_EQ(empty.out + empty.err, "");
}

TEST(ConfigParseTest, OutputAndErrorFilesReceiveTheirLines) {
  const std::string out_path = temp_path("out.txt"), err_path = temp_path("err.txt");
  const RunResult r = run("output_file = \"" + out_path + "\"; echo(\"x\"); echo(output_file);");
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(read_file(out_path), "x\n" + out_path + "\n");
  // An existing name is never written: the channel stays where it was.
  const RunResult again = run("output_file = \"" + out_path + "\"; print(\"y\");");
  EXPECT_EQ(again.out, "y");
  EXPECT_EQ(read_file(out_path), "x\n" + out_path + "\n");
  const std::string link_path = temp_path("link.txt");
  ASSERT_EQ(::symlink((out_path + ".new").c_str(), link_path.c_str()), 0);
  run("output_file = \"" + link_path + "\"; print(\"z\");");
  EXPECT_NE(::access((out_path + ".new").c_str(), F_OK), 0) << "a link is not followed";
  std::remove(link_path.c_str());
  const RunResult failed = run("error_file = \"" + err_path + "\";\nsize = 1 % 0;");
  EXPECT_FALSE(failed.ok);
  EXPECT_EQ(failed.err, "");
  EXPECT_EQ(read_file(err_path), "error: division by zero: between line 2.12 and line 2.13\n");
  std::remove(out_path.c_str());
  std::remove(err_path.c_str());
}

TEST(ConfigParseTest, ChannelsSwitchBetweenTheStandardStreams) {
  struct Case {
    const char* text;
    const char* out;
    const char* err;
  };
  const Case cases[] = {
      {"output_file = \"--\"; echo(\"x\"); echo(output_file);", "", "x\n--\n"},
      {"output_file = stderr; output_file = stdout; echo(output_file);", "-\n", ""},
      {"error_file = stdout; die(\"no\");", "error: no: at line 1.31\n", ""},
      {"error_file = stdout; warn(\"w\"); eprint(error_file);", "warning: w\n-", ""},
      {"output_file = \"/nonexistent-dir/x/f\"; echo(output_file);", "-\n", ""},
      {"error_file = \"/nonexistent-dir/x/f\"; echo(error_file);", "--\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const RunResult r = run(c.text);
    EXPECT_EQ(r.out, c.out);
    EXPECT_EQ(r.err, c.err);
  }
}

TEST(ConfigParseTest, AboutWritesTheIdentificationText) {
  const RunResult r = run("echo(about); about = \"x\";");
  EXPECT_TRUE(r.ok);
  const std::string first = r.out.substr(0, r.out.find('\n'));
  EXPECT_EQ(first.rfind("Vantrel", 0), 0u);
  EXPECT_NE(first.find("C++"), std::string::npos);
  EXPECT_EQ(r.out, first + "\n" + first + "\n");
}

TEST(ConfigParseTest, AboutHanoiDrawsSixteenPictures) {
  std::istringstream out(run("about = \"hanoi\";").out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(out, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1u + 16u * 6u);
  const std::string empty = "   |   ", base = "------- ------- -------";
  const std::size_t last = 1 + 15 * 6;
  const std::pair<std::size_t, std::string> expected[] = {
      {1, "   X    " + empty + " " + empty},  // all discs on the first peg
      {2, "  XXX   " + empty + " " + empty},        {5, base},        {6, ""},
      {7 + 3, "XXXXXXX    X    " + empty},       // the smallest disc moved to the middle
      {last, empty + " " + empty + "    X   "},  // all discs on the third peg
      {last + 3, empty + " " + empty + " XXXXXXX"}, {last + 4, base},
  };
  for (const auto& e : expected) EXPECT_EQ(lines[e.first], e.second) << "line " << e.first;
}

TEST(ConfigPrintTest, EveryFieldThatDiffersFromItsDefault) {
  Config c;
  c.active = true;
  c.importance = Vantrel::Importance(4, 3);
  c.size = 100;
  c.keep = true;
  c.set_consultant("ann");
  c.display_mask = Vantrel::all_mask;
  c.minor_steps_display_width = 4;
  c.actors_display_width = 12;
  EXPECT_EQ(printed(c),
            "active       = true;\n"
            "importance   = '>>';\n"
            "size         = 100;\n"
            "keep         = true;\n"
            "\n"
            "consultant   = 'ann';\n"
            "\n"
            "display_mask = 33554431;\n"
            "\n"
            "minor_steps_display_width    = 4;\n"
            "actors_display_width         = 12;");
}

TEST(ConfigPrintTest, MaskLineOnlyWhenTheEffectiveMaskDiffers) {
  Config c;
  c.display_mask = Vantrel::time_mask;  // always shown: no difference
  EXPECT_EQ(printed(c), "active       = false;\nimportance   = '==';");
  c.importance.level = 9;
  c.display_mask = Vantrel::rank_mask;
  EXPECT_EQ(printed(c),
            "active       = false;\nimportance   = '?"
            "?';\n\ndisplay_mask = 4194559;");
}

TEST(ConfigPrintTest, ParseOfItsOwnOutputRestoresTheRecord) {
  const RunResult r =
      run("active = true; importance = l; size = 300; keep = true; display_mask = all_mask;"
          "major_steps_display_width = 3; workflow_ids_display_width = 9;");
  ASSERT_TRUE(r.ok);
  const RunResult again = run(printed(r.config));
  ASSERT_TRUE(again.ok) << again.err;
  EXPECT_EQ(printed(again.config), printed(r.config));
}

// A stream buffer that delivers a text, then fails: by reporting an error or
// by throwing.
class FailingBuffer : public std::streambuf {
 public:
  FailingBuffer(const std::string& text, bool throws) : text_(text), throws_(throws) {
    setg(&text_[0], &text_[0], &text_[0] + text_.size());
  }

 protected:
  int_type underflow() override {
    if (throws_) throw std::runtime_error("device gone");
    return traits_type::eof();
  }

 private:
  std::string text_;
  bool throws_;
};

// Cut between statements or inside one (where the grammar alone would
// report what the cut statement lacks), the run fails as "wrong syntax".
TEST(ConfigParseTest, StreamThatFailsMidReadIsWrongSyntax) {
  const struct {
    const char* text;
    const char* out;
    const char* err;
  } cases[] = {
      {"size = 20;\necho(\"a\");", "a\n", "error: wrong syntax: at line 2.11\n"},
      {"size = 20;\necho(", "", "error: wrong syntax: at line 2.6\n"},
      {"size = 20;\nsize = ", "", "error: wrong syntax: at line 2.8\n"},
      {"size = 20;\nactive = (true", "", "error: wrong syntax: at line 2.15\n"},
  };
  for (const auto& c : cases) {
    for (bool with_exceptions : {false, true}) {
      SCOPED_TRACE(std::string(c.text) + (with_exceptions ? " (exceptions)" : ""));
      FailingBuffer buffer(c.text, true);
      std::istream in(&buffer);
      if (with_exceptions) in.exceptions(std::ios::badbit);
      Config start;
      start.size = 300;
      const RunResult r = run_stream(in, start);
      EXPECT_FALSE(r.ok);
      EXPECT_EQ(r.out, c.out);
      EXPECT_EQ(r.err, c.err);
      EXPECT_EQ(r.config.size, 300u);
    }
  }
}

TEST(ConfigParseTest, StreamLeftBadBeforeTheRunFailsButEndOfStreamDoesNot) {
  std::istringstream bad("size = 20;");
  bad.setstate(std::ios::badbit);
  const RunResult r = run_stream(bad);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.err, "error: wrong syntax: at line 1.1\n");
  FailingBuffer buffer("size = 20;", false);
  std::istream in(&buffer);
  const RunResult ended = run_stream(in);
  EXPECT_TRUE(ended.ok);
  EXPECT_EQ(ended.config.size, 20u);
}

TEST(ConfigParseTest, OneArgumentFormUsesTheDefaultDestinationsNames) {
  setenv("QZ_TRACE_NAME", "svc", 1);
  setenv("QZ_TRACE_LOGDIR", "/var/log/svc", 1);
  setenv("QZ_TRACE_CONFIGDIR", "/etc/svc", 1);
  unsetenv("QZ_TRACE_CONFIGFILE");
  std::ostringstream out;
  std::streambuf* saved = std::cout.rdbuf(out.rdbuf());
  std::istringstream in("echo(name + \" \" + log_dir + \" \" + config_file);");
  Config config;
  const bool ok = config.parse(in);
  setenv("QZ_TRACE_CONFIGFILE", "/tmp/other.ini", 1);
  std::istringstream in2("echo(config_file);");
  const bool ok2 = config.parse(in2);
  std::cout.rdbuf(saved);
  EXPECT_TRUE(ok);
  EXPECT_TRUE(ok2);
  EXPECT_EQ(out.str(), "svc /var/log/svc /etc/svc/svc_trace.ini\n/tmp/other.ini\n");
}

}  // namespace
