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
using Lines = std::vector<std::string>;

// A start script stand-in: a shell running `script`, watched as the launcher watches it.
struct Script {
  explicit Script(const std::string& script) : shell("/bin/sh", {"-c", script}) {}
  testing::RunningProgram shell;
  ChildProcess process{shell.pid()};
};

TEST(ExitWatch, GameGoneForMoreThan15SecondsWhileScriptRunsQuitsWithoutWaiting) {
  testing::GameSandbox sandbox;
  Script script("'" + sandbox.installGame() + "' 300 & wait; exec sleep 300");
  Pid gamePid = 0;
  ASSERT_TRUE(eventually([&] { return (gamePid = findGameProcess(script.shell.pid())) > 0; }));
  testing::FakeUI ui;
  testing::FakeWatchTime time;
  time.afterSleep = [&](size_t number) {
    if (number != 2) return;
    ::kill(gamePid, SIGKILL);  // the game ends during the third cycle's sleep
    eventually([&] { return !isAlive(gamePid); });
  };
  watchGameExit(ui, script.process, time.clock());
  EXPECT_EQ(ui.calls, Lines{"quit"});
  EXPECT_EQ(sandbox.logLines(), Lines{"game exit (Wine still busy with other processes of the "
                                      "prefix); launcher quits without waiting"});
  // Gone at 3 s; still waiting at exactly 15 s later; the next cycle gives up.
  EXPECT_EQ(time.elapsed(), 19s);
  EXPECT_EQ(script.process.exitStatus(), std::nullopt) << "the script is left running";
}

// Its path merely ends with the game's name; the script outlives it far past the grace.
TEST(ExitWatch, ChildThatIsNotTheGameIsNeverTrackedAndTheScriptDecides) {
  testing::GameSandbox sandbox;
  Script script("'" + sandbox.installGame("lib/wine/x86_64-unix/OldKaldrith") +
                "' 0.1; sleep 0.5; exit 1");
  testing::FakeUI ui;
  testing::FakeWatchTime time;
  watchGameExit(ui, script.process, time.clock());
  EXPECT_GT(time.elapsed(), 30s);
  EXPECT_EQ(sandbox.logLines(), Lines{"game exit 1"});
  EXPECT_EQ(ui.calls, Lines{"quit"});
}

}  // namespace
}  // namespace kaldra
