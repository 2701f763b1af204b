// A rotation's unlink waits for the logger's unlink_kept, after the message
// lock; no kept path is lost, whichever thread unlinks it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <thread>

#include "DeferredUnlink.h"
#include "hosts/context_support.h"

namespace Vantrel {
namespace LogFileSteps {
namespace {

TEST(DeferredUnlink, KeptPathsGoAtTheNextUnlinkOfAnyThread) {
  context_support::TempDir dir;
  const std::string a = dir.path + "/a", b = dir.path + "/b";
  for (const std::string& path : {a, b}) std::ofstream(path) << "x";
  keep_for_unlink(a);
  std::thread([&] { keep_for_unlink(b); }).join();
  EXPECT_EQ(dir.files().size(), 2u);
  unlink_kept();
  EXPECT_TRUE(dir.files().empty());
  keep_for_unlink(a);  // gone already: ignored
  unlink_kept();
  EXPECT_FALSE(paths_kept.load());
}

}  // namespace
}  // namespace LogFileSteps
}  // namespace Vantrel
