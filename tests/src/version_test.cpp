// One version number from the build: the header's macros agree, and each
// tool's --version line shows the library's.
#include <Vantrel.h>
#include <gtest/gtest.h>

#include "src/logfile_support.h"

TEST(Version, MacrosAndToolsAgree) {
  EXPECT_EQ(VANTREL_VERSION,
            VANTREL_VERSION_MAJOR * 10000 + VANTREL_VERSION_MINOR * 100 + VANTREL_VERSION_PATCH);
  EXPECT_STREQ(Vantrel::version(), VANTREL_VERSION_STRING);
  for (const std::string tool : {"vantrel-config", "vantrel-timeline"}) {
    int status = -1;
    EXPECT_EQ(logfile_support::run(VANTREL_BINARY_DIR "/tools/" + tool + " --version", &status),
              tool + " " + Vantrel::version() + "\n");
    EXPECT_EQ(status, 0) << tool;
  }
}
