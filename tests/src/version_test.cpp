// The version: one number from the build, the same in the header's macros, in
// the library at run time and in each tool's --version line.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <cstring>
#include <string>

#include "src/logfile_support.h"

namespace {

TEST(Version, MacrosLibraryAndStringAgree) {
  const std::string composed = std::to_string(VANTREL_VERSION_MAJOR) + "." +
                               std::to_string(VANTREL_VERSION_MINOR) + "." +
                               std::to_string(VANTREL_VERSION_PATCH);
  EXPECT_EQ(composed, VANTREL_VERSION_STRING);
  EXPECT_STREQ(Vantrel::version(), VANTREL_VERSION_STRING);
  EXPECT_EQ(VANTREL_VERSION,
            VANTREL_VERSION_MAJOR * 10000 + VANTREL_VERSION_MINOR * 100 + VANTREL_VERSION_PATCH);
}

TEST(Version, ToolsPrintIt) {
  for (const char* tool : {"vantrel-config", "vantrel-timeline"}) {
    const std::string command = std::string(VANTREL_BINARY_DIR "/tools/") + tool + " --version";
    int status = -1;
    EXPECT_EQ(logfile_support::run(command, &status),
              std::string(tool) + " " + Vantrel::version() + "\n");
    EXPECT_EQ(status, 0) << command;
  }
}

}  // namespace
