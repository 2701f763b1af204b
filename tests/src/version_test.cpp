// One version number from the build: the header's macros agree with each
// other and with the library's.
#include <Vantrel.h>
#include <gtest/gtest.h>

TEST(Version, MacrosAndLibraryAgree) {
  EXPECT_EQ(VANTREL_VERSION,
            VANTREL_VERSION_MAJOR * 10000 + VANTREL_VERSION_MINOR * 100 + VANTREL_VERSION_PATCH);
  EXPECT_STREQ(Vantrel::version(), VANTREL_VERSION_STRING);
}
