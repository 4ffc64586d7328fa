#include "game/exit_watch.h"

#include <gtest/gtest.h>

#include "tests/support/fake_ui.h"
#include "tests/support/fake_watch_time.h"
#include "tests/support/game_sandbox.h"
#include "tests/support/running_program.h"

namespace kaldra {
namespace {

using namespace std::chrono_literals;
using testing::eventually;
using testing::FakeUI;
using testing::FakeWatchTime;
using testing::GameSandbox;
using testing::RunningProgram;
using Calls = std::vector<std::string>;

const std::string kWineBusy =
    "game exit (Wine still busy with other processes of the prefix); launcher quits without "
    "waiting";

// A start script stand-in: a shell running `script`, watched as the launcher watches it.
struct Script {
  explicit Script(const std::string& script) : shell("/bin/sh", {"-c", script}) {}
  RunningProgram shell;
  ChildProcess process{shell.pid()};
};

TEST(ExitWatch, GameGoneForMoreThan15SecondsWhileScriptRunsQuitsWithoutWaiting) {
  GameSandbox sandbox;
  std::string game = sandbox.installGame();
  Script script("'" + game + "' 300 & wait; exec sleep 300");
  Pid gamePid = 0;
  ASSERT_TRUE(eventually([&] { return (gamePid = findGameProcess(script.shell.pid())) > 0; }));

  FakeUI ui;
  FakeWatchTime time;
  time.afterSleep = [&](size_t number) {
    if (number != 2) return;
    ::kill(gamePid, SIGKILL);  // the game ends during the third cycle's sleep
    eventually([&] { return !isAlive(gamePid); });
  };
  watchGameExit(ui, script.process, time.clock());

  EXPECT_EQ(ui.calls, Calls{"quit"});
  EXPECT_EQ(sandbox.logLines(), std::vector<std::string>{kWineBusy});
  // Gone at 3 s; still waiting at exactly 15 s later; the next cycle gives up.
  EXPECT_EQ(time.elapsed(), 19s);
  EXPECT_EQ(script.process.exitStatus(), std::nullopt) << "the script is left running";
}

TEST(ExitWatch, ChildThatIsNotTheGameIsNeverTrackedAndTheScriptDecides) {
  GameSandbox sandbox;
  // Its path merely ends with the game's name, and the script outlives it by far more
  // than the grace in watch time.
  std::string other = sandbox.installGame("lib/wine/x86_64-unix/OldKaldrith");
  Script script("'" + other + "' 0.1; sleep 0.5; exit 1");
  FakeUI ui;
  FakeWatchTime time;
  watchGameExit(ui, script.process, time.clock());
  EXPECT_GT(time.elapsed(), 30s);
  EXPECT_EQ(sandbox.logLines(), std::vector<std::string>{"game exit 1"});
  EXPECT_EQ(ui.calls, Calls{"quit"});
}

TEST(ExitWatch, OtherStatusPointsToTheGameLogAndMayOpenTheLogs) {
  for (int answer : {0, 1}) {
    GameSandbox sandbox;
    Script script("exit 2");
    FakeUI ui;
    ui.answers = {answer};
    FakeWatchTime time;
    watchGameExit(ui, script.process, time.clock());
    EXPECT_EQ(sandbox.logLines(), std::vector<std::string>{"game exit 2"});
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].message, "err_game_exit\n" + (cfg.logsDir / "game.log").string());
    EXPECT_EQ(ui.dialogs[0].buttons, (std::vector<std::string>{"Open log", "Quit"}));
    EXPECT_EQ(ui.dialogs[0].style, AlertStyle::warning);
    Calls expected =
        answer == 0 ? Calls{"bringToFront", "openLogs", "quit"} : Calls{"bringToFront", "quit"};
    EXPECT_EQ(ui.calls, expected);
  }
}

}  // namespace
}  // namespace kaldra
