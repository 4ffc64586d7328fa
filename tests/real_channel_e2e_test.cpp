// The launcher with its real updater tool against a channel served over loopback HTTP.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/http_server.h"
#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

class RealChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(channel / "data");
    std::ofstream(channel / "kaldrith.exe") << "the game's executable";
    std::ofstream(channel / "data/strings.txt") << "hello from the channel\n";
    publish();
    run.env["KALDRA_UPDATE_CHANNEL"] = server.url();
    run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  }

  // Signs the channel's manifest with the bundle's own tool.
  void publish() {
    std::string command = (run.resources() / "bin/kaldra-update").string() + " publish " +
                          channel.string() + " --key " KALDRA_SIGNING_KEY " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
  }

  LauncherRun run;
  fs::path channel = run.root() / "channel";
  HttpServer server{channel};
};

TEST_F(RealChannel, GameFilesArriveOverHttp) {
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0);
  EXPECT_TRUE(run.logged("updater exit 0")) << run.file(run.logsDir() / "updater.log");
  fs::path game = run.dataDir() / "prefix/drive_c/Kaldrith";
  EXPECT_EQ(run.file(game / "data/strings.txt"), "hello from the channel\n");
  EXPECT_EQ(run.file(game / "kaldrith.exe"), "the game's executable");
  EXPECT_TRUE(run.logged("test: stop before the game start"));
}

}  // namespace
}  // namespace kaldra::testing
