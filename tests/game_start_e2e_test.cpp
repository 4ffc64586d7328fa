// The game start as a player sees it: the real launcher runs the start script (a
// scripted one, or the bundle's own with the stand-in game) and ends when the game
// ends, with a dialog when the game failed.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <thread>

#include "platform/spawn.h"

#include "tests/support/launcher_run.h"
#include "tests/support/running_program.h"

namespace kaldra::testing {
namespace {

using Lines = std::vector<std::string>;

// Zero and one end the launcher quietly; any other status is a failed game, whose
// dialog's first button opens the logs.
TEST(GameStartRun, GameStatusDecidesBetweenAQuietEndAndADialog) {
  for (int status : {0, 1, 2}) {
    SCOPED_TRACE(status);
    bool failed = status == 2;
    LauncherRun run;
    run.goStraightToTheGame();
    run.useScriptedStartScript("echo 'the game said' >&2\nexit " + std::to_string(status) + "\n");
    run.env["KALDRA_TEST_ANSWERS"] = "0";
    RunResult result = run.start();
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(), "game exit " + std::to_string(status));
    auto shots = run.snapshots();
    EXPECT_EQ(std::count_if(shots.begin(), shots.end(),
                            [](const auto& name) { return name.ends_with("-dialog.png"); }),
              failed ? 1 : 0);
    // The opener is detached, so give it a moment.
    eventually([&] { return !failed || !run.opened().empty(); }, std::chrono::seconds(5));
    EXPECT_EQ(run.opened(), failed ? Lines{run.logsDir().string()} : Lines{});
    EXPECT_EQ(run.file(run.logsDir() / "wine-launch.log"), "the game said\n");
  }
}

// The bundle's own start script, finding no Wine, runs the native stand-in game.
TEST(GameStartRun, StandInGameRunsInTheGameFolderAndEndsTheLauncher) {
  LauncherRun run;
  run.goStraightToTheGame();
  run.env["KALDRA_WINE_SEARCH"] = "";  // the system's Wine hidden from the script
  run.env["KALDRA_STANDIN_SECONDS"] = "1";
  RunResult result = run.start();
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(run.logLines().back(), "game exit 0");
  EXPECT_TRUE(fs::exists(run.dataDir() / "prefix/.kaldra-runtime"));
  std::string launchLog = run.file(run.logsDir() / "wine-launch.log");
  EXPECT_NE(launchLog.find("Kaldrith stand-in game: running C:\\Kaldrith\\kaldrith.exe in " +
                           (run.dataDir() / "prefix/drive_c/Kaldrith").string()),
            std::string::npos)
      << launchLog;
  EXPECT_NE(run.file(run.logsDir() / "game.log").find("Kaldrith stand-in game started"),
            std::string::npos);
}

// The game's process as the launcher sees it ends with the game's status, whatever ended
// the game, and passes a request to end on to the game.
TEST(GameHost, EndsWithTheGamesStatus) {
  struct Row {
    std::vector<std::string> args;
    bool terminated;  // the host itself is asked to end
    int status;
  };
  const Row rows[] = {
      {{"/bin/sh", "-c", "exit 3"}, false, 3},
      {{"/bin/sh", "-c", "kill -SEGV $$"}, false, 128 + SIGSEGV},
      {{"/bin/sh", "-c", "trap 'kill $!; exit 7' TERM; sleep 30 & wait"}, true, 7},
      {{"/no/such/game"}, false, 127},
      {{}, false, 64},
  };
  LauncherRun run;
  fs::path host = run.resources() / "wine/lib/wine/x86_64-unix/Kaldrith";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "" : row.args.back());
    int pid = run.spawn(host, row.args);
    ASSERT_GT(pid, 0);
    if (row.terminated) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(pid, SIGTERM);
    }
    EXPECT_EQ(platform::waitForExit(pid), row.status) << run.file(run.root() / "output.txt");
  }
}

}  // namespace
}  // namespace kaldra::testing
