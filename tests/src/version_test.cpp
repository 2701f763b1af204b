// One version number from the build, the same in the header's macros, in the
// library at run time and in each tool's --version line.
#include <gtest/gtest.h>

#include <Vantrel.h>

#include <string>

#include "src/logfile_support.h"

namespace {

TEST(Version, MacrosLibraryAndToolsAgree) {
  EXPECT_EQ(std::to_string(VANTREL_VERSION_MAJOR) + "." + std::to_string(VANTREL_VERSION_MINOR) +
                "." + std::to_string(VANTREL_VERSION_PATCH) + " " +
                std::to_string(VANTREL_VERSION_MAJOR * 10000 + VANTREL_VERSION_MINOR * 100 +
                               VANTREL_VERSION_PATCH),
            std::string(Vantrel::version()) + " " + std::to_string(VANTREL_VERSION));
  EXPECT_STREQ(Vantrel::version(), VANTREL_VERSION_STRING);
  for (const char* tool : {"vantrel-config", "vantrel-timeline"}) {
    int status = -1;
    EXPECT_EQ(logfile_support::run(VANTREL_BINARY_DIR "/tools/" + std::string(tool) + " --version",
                                   &status),
              std::string(tool) + " " + Vantrel::version() + "\n");
    EXPECT_EQ(status, 0) << tool;
  }
}

}  // namespace
