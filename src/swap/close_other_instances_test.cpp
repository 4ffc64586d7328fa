#include "swap/close_other_instances.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class CloseOthers : public testing::SwapSandbox {};

// A launcher copy played by a shell inside the bundle: deaf to polite requests, and with
// or without a child, as a launcher running the game has.
TEST_F(CloseOthers, ForcesADeafCopyButNeverOneRunningTheGame) {
  for (bool withGame : {false, true}) {
    SCOPED_TRACE(withGame);
    SetUp();
    fs::path target = makeBundle(dir / "Applications/Kaldrith.app", "1.0");
    fs::path exe = target / "Contents/MacOS/Kaldrith";
    fs::remove(exe);
    fs::copy_file("/bin/sh", exe);
    ::mkfifo((dir / "fifo").c_str(), 0600);  // never written: blocks without a child
    std::string script =
        "trap '' TERM; : > '" + (dir / "ready").string() + "'; " +
        (withGame ? "/bin/sleep 30 & wait" : "read x < '" + (dir / "fifo").string() + "'");
    Pid pid = platform::spawnProcess({.program = exe.string(),
                                      .args = {"-c", script},
                                      .out = platform::Output::null(),
                                      .nullInput = true,
                                      .newSession = true})
                  .pid;
    platform::reapInBackground(pid);
    // Ready, and alone in the bundle: a child has left the bundle's executable behind.
    ASSERT_TRUE(testing::eventually(
        [&] { return fs::exists(dir / "ready") && processesInside(target).size() == 1; }));
    WatchClock clock;
    WatchClock::Duration slept{0};
    clock.sleep = [&](WatchClock::Duration d) {
      slept += d;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    };
    EXPECT_EQ(closeOtherInstances(target, clock),
              withGame ? std::optional<std::string>("err_game_running") : std::nullopt);
    EXPECT_GE(slept, kPoliteWait);
    EXPECT_TRUE(testing::eventually([&] { return isAlive(pid) == withGame; }));
    ::kill(-pid, SIGKILL);
  }
}

}  // namespace
}  // namespace kaldra
