// The exchange from end to end in one process: closing other copies, the helper's
// exchange and wait, and the settling at the next start.
#include "swap/swap_helper.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/close_other_instances.h"
#include "swap/settle_swap.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class Exchange : public testing::SwapSandbox {};

// A launcher copy played by a shell inside the bundle: deaf to polite requests, and with
// or without a child, as a launcher running the game has.
TEST_F(Exchange, CloseOthersForcesADeafCopyButNeverOneRunningTheGame) {
  for (bool withGame : {false, true}) {
    SCOPED_TRACE(withGame);
    SetUp();
    fs::path target = dir / "Applications/Kaldrith.app";
    testing::writeSealedBundle(target, "1.0");
    fs::path exe = target / "Contents/MacOS/Kaldrith";
    fs::copy_file("/bin/sh", exe, fs::copy_options::overwrite_existing);
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

// The helper's waits run on a clock that moves only when the helper sleeps.
TEST_F(Exchange, HelperKeepsTheInstalledBundleUnlessTheNewOneAnswers) {
  const WatchClock::Duration late = kGiveUpAfter + std::chrono::milliseconds(1),
                             giveUp = kGiveUpAfter + kAnswerStep, none{0};
  struct Case {
    const char* what;
    bool firstInstall;
    Pid pid;
    const char* stageDir;
    int status;
    std::string state, note, versionAtTarget;
    WatchClock::Duration atLeast, atMost;
  } cases[] = {
      // It gives up once nothing has run from the target for more than 8 s.
      {"never answers", false, 0, "", kHelperRestored, "rolled-back", "", "1.0", late, giveUp},
      {"first install never answers", true, 0, "", kHelperNothingToRestore, "failed",
       "new app did not start, no previous bundle", "2.0", late, giveUp},
      {"launcher stays", false, ownPid(), "", kHelperUnchanged, "failed",
       "launcher " + std::to_string(ownPid()) + " did not quit", "1.0", kLauncherQuitLimit,
       kLauncherQuitLimit},
      {"staged copy elsewhere", false, 0, "elsewhere", kHelperUnchanged, "failed",
       "staged copy: plan names unexpected paths", "1.0", none, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    fs::path target = dir / "Applications/Kaldrith.app";
    testing::writeSealedBundle(target, "1.0");
    fs::path stage = *c.stageDir ? dir / c.stageDir : stagingDir(target);
    testing::writeSealedBundle(stagedBundle(stage), "2.0");
    if (c.firstInstall) fs::remove_all(target);
    writePlan({.op = "update",
               .from = "1.0",
               .to = "2.0",
               .target = target.string(),
               .staged = stagedBundle(stage).string(),
               .stageDir = stage.string(),
               .pid = c.pid,
               .state = "staged"},
              cfg.swapPlanURL);
    WatchClock::Duration elapsed{0};
    WatchClock clock{.now = [&] { return WatchClock::TimePoint{} + elapsed; },
                     .sleep = [&](WatchClock::Duration d) { elapsed += d; }};

    EXPECT_EQ(runSwapHelper(cfg.swapPlanURL.string(), clock), c.status);
    auto written = readPlan(cfg.swapPlanURL);
    EXPECT_EQ(std::pair(written->state, written->note), std::pair(c.state, c.note));
    auto info = bundleInfo(target);
    EXPECT_EQ(info ? info->version : "-", c.versionAtTarget);
    EXPECT_EQ(fs::exists(cfg.xplatDir / "skip-version"), c.status == kHelperRestored);
    EXPECT_GE(elapsed, c.atLeast);
    EXPECT_LE(elapsed, c.atMost);
  }
}

TEST_F(Exchange, SettleAtStartTouchesOnlyTheCopyEachStateIsAbout) {
  const Pid me = ownPid();
  struct Case {
    std::string state;
    Pid pid, helper;
    std::string appVersion;
    bool settled;
    std::optional<std::string> notice;
    std::string logLine;
    bool foreignStage = false;  // the plan names a folder that is not its staging folder
  } cases[] = {
      {"swapped", 0, 0, "2.0", true, std::nullopt,
       "self-update 1.0 -> 2.0 confirmed; previous bundle removed"},
      {"swapped", 0, 0, "3.0", false, std::nullopt, ""},
      // The helper died swapping back.
      {"swapped", 0, 0, "1.0", true, "xplat_start_failed_restored",
       "self-update to 2.0 rolled back to 1.0"},
      {"rolled-back", 0, 0, "2.0", false, std::nullopt, ""},
      {"rolled-back", 0, 0, "1.0", true, "xplat_start_failed_restored",
       "self-update to 2.0 rolled back to 1.0", true},
      {"failed", 0, 0, "1.0", true, "xplat_failed n", "self-update failed earlier: n"},
      {"staged", 0, 0, "9", true, std::nullopt,
       "removed an interrupted self-update (never exchanged)"},
      {"staged", 0, me, "9", false, std::nullopt, ""},
      {"staged", me, 0, "9", false, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state + " in " + c.appVersion);
    SetUp();
    cfg.appBundle = cfg.installTarget = dir / "Applications/Kaldrith.app";
    cfg.appVersion = c.appVersion;
    fs::create_directories(cfg.appBundle);
    fs::path stage = stagingDir(cfg.appBundle), foreign = dir / "precious";
    fs::create_directories(stagedBundle(stage));
    fs::create_directories(foreign / "keep");
    writePlan({.op = "update",
               .from = "1.0",
               .to = "2.0",
               .target = cfg.appBundle.string(),
               .staged = stagedBundle(stage).string(),
               .stageDir = (c.foreignStage ? foreign : stage).string(),
               .pid = c.pid,
               .helper = c.helper,
               .state = c.state,
               .note = "n"},
              cfg.swapPlanURL);

    EXPECT_EQ(settleSwap(), c.notice);
    EXPECT_EQ(fs::exists(cfg.swapPlanURL), !c.settled);
    EXPECT_EQ(fs::exists(stage), !c.settled || c.foreignStage);
    EXPECT_TRUE(fs::exists(foreign / "keep"));
    EXPECT_EQ(logLines(),
              c.logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.logLine});
  }
}

}  // namespace
}  // namespace kaldra
