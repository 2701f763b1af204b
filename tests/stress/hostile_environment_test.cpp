// Hosts go on in hostile surroundings: missing or unwritable log
// directories, a file size limit, a directory removed while they write, and
// configuration files of NUL bytes or that are a directory.
#include <Vantrel.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "src/logfile_support.h"
#include "zeltools/cases_support.h"

namespace {

// The scripts of cases/hostile.rows. Every record with inactive settings
// re-opens its file for appending, so records resume in the same file once a
// removed directory is back.
TEST(HostileEnvironmentTest, HostGoesOnWithHostileDirectoriesLimitsAndConfigurations) {
  logfile_support::TempDir dir, limited, back;
  std::ofstream(dir.path + "/plain") << "x";
  std::ofstream(dir.path + "/nul.ini", std::ios::binary) << std::string(4096, '\0');
  ::mkdir((dir.path + "/dir.ini").c_str(), 0777);
  const std::string env =
      "HOST=" VANTREL_TEST_HOSTS_DIR "/host_reliability_hostile DIR=" + dir.path +
      " LIMITED=" + limited.path + " BACK=" + back.path +
      " QZ_TRACE_CONFIGFILE=/nonexistent/none.ini";
  for (const cases::Fields& run : cases::read("stress/cases/hostile.rows")) {
    int status = -1;
    EXPECT_EQ(logfile_support::run(env + " sh -c '" + run[0] + "' 2>/dev/null", &status), run[1])
        << run[0];
    EXPECT_EQ(status, 0) << run[0];
  }
  ASSERT_EQ(limited.files().size(), 1u);
  ASSERT_EQ(back.files().size(), 1u);
  const std::vector<std::string> texts = back.all_texts();
  EXPECT_EQ(texts.empty() ? "" : texts.back(), "r200");
}

}  // namespace
