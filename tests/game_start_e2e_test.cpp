// The game start as a player sees it: the real launcher runs the start script (a
// scripted one, or the bundle's own with the stand-in game) and ends when the game
// ends, with a dialog when the game failed.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
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

TEST(GameStartRun, GameEndingWithZeroOrOneEndsTheLauncherQuietly) {
  for (int status : {0, 1}) {
    LauncherRun run;
    skipToTheGame(run);
    run.useScriptedStartScript("exit " + std::to_string(status) + "\n");
    RunResult result = run.start();
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(), "game exit " + std::to_string(status));
    EXPECT_EQ(dialogs(run), 0u);
    EXPECT_TRUE(run.opened().empty());
  }
}

TEST(GameStartRun, FailedGameShowsADialogWhoseFirstButtonOpensTheLogs) {
  LauncherRun run;
  skipToTheGame(run);
  run.useScriptedStartScript("echo 'the game crashed' >&2\nexit 2\n");
  run.env["KALDRA_TEST_ANSWERS"] = "0";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(run.logLines().back(), "game exit 2");
  EXPECT_EQ(dialogs(run), 1u);
  EXPECT_EQ(openedEventually(run), Lines{run.logsDir().string()});
  EXPECT_EQ(run.file(run.logsDir() / "wine-launch.log"), "the game crashed\n");
}

TEST(GameStartRun, ScriptGetsTheLaunchersEnvironmentWithTheGamesValues) {
  LauncherRun run;
  skipToTheGame(run);
  run.env["KALDRA_MAC_PICKUP_SCANCODE"] = "86";  // the launcher's own, not for the game
  run.env["KALDRA_E2E_MARK"] = "kept";
  fs::path dump = run.root() / "env.txt";
  run.useScriptedStartScript("env > '" + dump.string() + "'\n");
  RunResult result = run.start();
  ASSERT_EQ(result.status, 0) << result.output;
  Lines env;
  std::istringstream in(run.file(dump));
  for (std::string line; std::getline(in, line);) env.push_back(line);
  auto has = [&](const std::string& line) {
    return std::find(env.begin(), env.end(), line) != env.end();
  };
  fs::path resources = fs::canonical(run.resources());
  EXPECT_TRUE(has("PATH=/usr/bin:/bin:/usr/sbin:/sbin"));
  EXPECT_TRUE(has("KALDRA_DATA_DIR=" + run.dataDir().string()));
  EXPECT_TRUE(has("KALDRA_WINE_DIR=" + (resources / "wine").string()));
  EXPECT_TRUE(has("KALDRA_RES_DIR=" + (resources / "share").string()));
  EXPECT_TRUE(has("KALDRA_PLATFORM=mac"));
  EXPECT_TRUE(has("KALDRA_E2E_MARK=kept"));
  EXPECT_TRUE(has("HOME=" + run.home().string()));
  EXPECT_TRUE(std::none_of(env.begin(), env.end(), [](const std::string& line) {
    return line.starts_with("KALDRA_MAC_PICKUP_SCANCODE=");
  }));
}

TEST(GameStartRun, LaunchLogHoldsTheLatestStartOnly) {
  LauncherRun run;
  skipToTheGame(run);
  run.useScriptedStartScript("echo 'first start' >&2\n");
  run.start();
  run.useScriptedStartScript("echo 'to the game, not the log'\necho 'second start' >&2\n");
  RunResult result = run.start();
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(run.file(run.logsDir() / "wine-launch.log"), "second start\n");
}

TEST(GameStartRun, BundledWineSetsUpThePrefixOnceAndRunsTheGameInItsFolder) {
  LauncherRun run;
  skipToTheGame(run);
  fs::path calls = run.root() / "wine-calls.txt";
  LauncherRun::writeScript(run.resources() / "wine/bin/wine",
                           "echo \"$WINEPREFIX|$(pwd)|$*\" >> '" + calls.string() +
                               "'\n[ \"$1\" = wineboot ]\n");  // the game itself ends with 1
  run.start();
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(run.logLines().back(), "game exit 1");
  std::string prefix = run.dataDir().string() + "/prefix";
  std::string game = "|" + prefix + "/drive_c/Kaldrith|C:\\Kaldrith\\kaldrith.exe";
  std::istringstream in(run.file(calls));
  Lines lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 3u) << run.file(calls);
  EXPECT_TRUE(lines[0].starts_with(prefix + "|") && lines[0].ends_with("|wineboot --init"));
  EXPECT_EQ(lines[1], prefix + game);
  EXPECT_EQ(lines[2], prefix + game) << "the prefix is set up once";
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
