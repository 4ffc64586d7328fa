// The game file update as a player sees it: the real launcher with its real updater tool
// against a channel served over loopback HTTP.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/launcher_run.h"
#include "tests/support/web_server.h"

namespace kaldra::testing {
namespace {

TEST(GameUpdateRun, GameFilesArriveOverHttp) {
  LauncherRun run;
  fs::path channel = run.root() / "channel";
  fs::create_directories(channel / "data");
  std::ofstream(channel / "kaldrith.exe") << "the game's executable";
  std::ofstream(channel / "data/strings.txt") << "hello from the channel\n";
  // Signed with the bundle's own tool.
  ASSERT_EQ(std::system(((run.resources() / "bin/kaldra-update").string() + " publish " +
                         channel.string() + " --key " KALDRA_SIGNING_KEY " > /dev/null")
                            .c_str()),
            0);
  WebServer server{channel};
  run.env["KALDRA_UPDATE_CHANNEL"] = server.url("http");
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_TRUE(result.status == 0 && run.logged("test: stop before the game start"))
      << run.file(run.logsDir() / "updater.log");
  fs::path game = run.dataDir() / "prefix/drive_c/Kaldrith";
  EXPECT_EQ(run.file(game / "data/strings.txt") + run.file(game / "kaldrith.exe"),
            "hello from the channel\nthe game's executable");
}

}  // namespace
}  // namespace kaldra::testing
