// The game start as a player sees it: the real launcher runs the start script (a
// scripted one, or the bundle's own with the stand-in game) and ends when the game
// ends, with a dialog when the game failed.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

using Lines = std::vector<std::string>;

// A run that goes straight through the earlier steps to the game start.
void skipToTheGame(LauncherRun& run) {
  run.env["KALDRA_TEST_INSTALL_DIR"] = run.root().string();  // counts as installed
  run.env["KALDRA_NO_SELF_UPDATE"] = "1";
  run.useScriptedUpdater("[ \"$1\" = texts ] && echo '{}'\nexit 0\n");
}

size_t dialogs(const LauncherRun& run) {
  auto names = run.snapshots();
  return static_cast<size_t>(std::count_if(
      names.begin(), names.end(), [](const auto& name) { return name.ends_with("-dialog.png"); }));
}

// What the system was asked to open; the opener is detached, so give it a moment.
Lines openedEventually(const LauncherRun& run) {
  for (int i = 0; i < 250 && run.opened().empty(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return run.opened();
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Zero and one end the launcher quietly; any other status is a failed game, whose
// dialog's first button opens the logs.
TEST(GameStartRun, GameStatusDecidesBetweenAQuietEndAndADialog) {
  for (int status : {0, 1, 2}) {
    SCOPED_TRACE(status);
    bool failed = status == 2;
    LauncherRun run;
    skipToTheGame(run);
    run.useScriptedStartScript("echo 'the game said' >&2\nexit " + std::to_string(status) + "\n");
    run.env["KALDRA_TEST_ANSWERS"] = "0";
    RunResult result = run.start();
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(), "game exit " + std::to_string(status));
    EXPECT_EQ(dialogs(run), failed ? 1u : 0u);
    EXPECT_EQ(failed ? openedEventually(run) : run.opened(),
              failed ? Lines{run.logsDir().string()} : Lines{});
    EXPECT_EQ(run.file(run.logsDir() / "wine-launch.log"), "the game said\n");
  }
}

// The bundle's own start script, finding no Wine, runs the stand-in game.
class BundledStartScript : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* wine : {"/usr/bin/wine", "/bin/wine", "/usr/sbin/wine", "/sbin/wine"})
      if (fs::exists(wine)) GTEST_SKIP() << "a system Wine would run instead: " << wine;
    skipToTheGame(run);
  }
  fs::path gameFolder() const { return run.dataDir() / "prefix/drive_c/Kaldrith"; }
  LauncherRun run;
};

TEST_F(BundledStartScript, StandInGameRunsInTheGameFolderAndEndsTheLauncher) {
  run.env["KALDRA_STANDIN_SECONDS"] = "1";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(run.logLines().back(), "game exit 0");
  EXPECT_TRUE(fs::exists(run.dataDir() / "prefix/.kaldra-runtime"));
  std::string launchLog = run.file(run.logsDir() / "wine-launch.log");
  EXPECT_TRUE(contains(launchLog, "Kaldrith stand-in game: running C:\\Kaldrith\\kaldrith.exe in " +
                                      gameFolder().string()))
      << launchLog;
  EXPECT_TRUE(contains(run.file(run.logsDir() / "game.log"), "Kaldrith stand-in game started"));
}

}  // namespace
}  // namespace kaldra::testing
