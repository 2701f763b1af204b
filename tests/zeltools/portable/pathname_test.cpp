// Pathname: pure text rules with '/' as the separator.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "ZelTools/Portable.h"

namespace {

using ZelTools::Portable::Pathname;

struct TextCase {
  const char* what;
  Pathname path;
  std::string expected;
};

TEST(PathnameTest, ConstructionAndJoining) {
  const Pathname logs("/var/log");
  const TextCase cases[] = {
      {"one trailing separator removed", Pathname("/var/log/"), "/var/log"},
      {"of two trailing separators one stays", Pathname("/var/log//"), "/var/log/"},
      {"empty", Pathname(""), ""},
      {"root becomes empty", Pathname("/"), ""},
      {"default is dot", Pathname(), "."},
      {"dot", Pathname(Pathname::Dot), "."},
      {"dot dot", Pathname(Pathname::Dot_dot), ".."},
      {"unknown dot value counts as dot", Pathname(static_cast<Pathname::Dot_type>(7)), "."},
      {"joined name", Pathname(logs, "app_trace.log"), "/var/log/app_trace.log"},
      {"joined empty name", Pathname(logs, ""), "/var/log"},
      {"joined name with trailing separator", Pathname(logs, "app/"), "/var/log/app"},
      {"joined name with leading separator", Pathname(logs, "/app"), "/var/log//app"},
      {"joined inner separators kept", Pathname(logs, "a/b"), "/var/log/a/b"},
      {"joined lone separator", Pathname(logs, "/"), "/var/log/"},
      {"joined parent", Pathname(Pathname("a"), Pathname::Dot_dot), "a/.."},
      {"joined dot", Pathname(Pathname("a"), Pathname::Dot), "a/."},
      {"joined to empty", Pathname(Pathname(""), "x"), "/x"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.path.as_file(), c.expected);
  }
}

TEST(PathnameTest, AsDir) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {{"/var/log", "/var/log/"}, {"", "/"}, {"/var/log//", "/var/log/"}, {"x", "x/"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Pathname(c.text).as_dir(), c.expected);
  }
}

TEST(PathnameTest, Basename) {
  const struct {
    const char* text;
    const char* suffix;  // nullptr: basename() without a suffix
    const char* expected;
  } cases[] = {{"/bin/app.exe", nullptr, "app.exe"},
               {"/bin/app.exe", ".exe", "app"},
               {"/bin/APP.EXE", ".exe", "APP.EXE"},
               {"/bin/.exe", ".exe", ""},
               {"/bin/", nullptr, "bin"},
               {"app", nullptr, "app"},
               {"app", ".exe", "app"},
               {"", nullptr, ""},
               {"/bin//", nullptr, ""},
               {"/bin/a.exe.exe", ".exe", "a.exe"},
               {"/bin/exe", ".exe", "exe"},
               {"/bin/app.exe", "", "app.exe"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + (c.suffix ? c.suffix : "(none)"));
    Pathname p(c.text);
    EXPECT_EQ(c.suffix ? p.basename(c.suffix) : p.basename(), c.expected);
  }
}

TEST(PathnameTest, Dirname) {
  const struct {
    const char* text;
    const char* expected;
  } cases[] = {{"/a/b.txt", "/a"}, {"/x", ""}, {"a/b/c", "a/b"}, {"a//b", "a"}, {"/a/b/", "/a"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(Pathname(c.text).dirname().as_file(), c.expected);
  }
  // A bare name has no directory part.
  EXPECT_THROW(Pathname("b.txt").dirname(), std::out_of_range);
  EXPECT_THROW(Pathname("").dirname(), std::out_of_range);
  EXPECT_THROW(Pathname().dirname(), std::out_of_range);
}

}  // namespace
