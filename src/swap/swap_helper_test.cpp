#include "swap/swap_helper.h"

#include <gtest/gtest.h>

#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

// The helper's waits run on a clock that moves only when the helper sleeps.
class Helper : public testing::SwapSandbox {};

TEST_F(Helper, KeepsTheInstalledBundleUnlessTheNewOneAnswers) {
  const auto late = kGiveUpAfter + std::chrono::milliseconds(1),
             giveUp = kGiveUpAfter + kAnswerStep;
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
      {"staged copy elsewhere",
       false,
       0,
       "elsewhere",
       kHelperUnchanged,
       "failed",
       "staged copy: plan names unexpected paths",
       "1.0",
       {},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    fs::path target = dir / "Applications/Kaldrith.app";
    makeBundle(target, "1.0");
    fs::path stage = *c.stageDir ? dir / c.stageDir : stagingDir(target);
    makeBundle(stagedBundle(stage), "2.0");
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

}  // namespace
}  // namespace kaldra
