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
class Helper : public testing::SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    target = dir / "Applications/Kaldrith.app";
    makeBundle(target, "1.0");
    fs::path stage = stagingDir(target);
    makeBundle(stagedBundle(stage), "2.0");
    plan = {.op = "update",
            .from = "1.0",
            .to = "2.0",
            .source = (dir / "Volumes/Kaldrith.app").string(),
            .target = target.string(),
            .staged = stagedBundle(stage).string(),
            .stageDir = stage.string(),
            .state = "staged"};
    clock.now = [this] { return WatchClock::TimePoint{} + elapsed; };
    clock.sleep = [this](WatchClock::Duration d) { elapsed += d; };
  }

  int runHelper() {
    writePlan(plan, cfg.swapPlanURL);
    return runSwapHelper(cfg.swapPlanURL.string(), clock);
  }
  std::string versionAt(const fs::path& bundle) {
    auto info = bundleInfo(bundle);
    return info ? info->version : "-";
  }
  std::optional<SwapPlan> written() { return readPlan(cfg.swapPlanURL); }

  fs::path target;
  SwapPlan plan;
  WatchClock clock;
  WatchClock::Duration elapsed{0};
};

TEST_F(Helper, KeepsTheInstalledBundleUnlessTheNewOneAnswers) {
  using std::chrono::milliseconds;
  struct Case {
    const char* what;
    std::function<void()> arrange;
    int status;
    std::string state, note, versionAtTarget;
    WatchClock::Duration atLeast, atMost;
  } cases[] = {
      // It gives up once nothing has run from the target for more than 8 s.
      {"never answers", [] {}, kHelperRestored, "rolled-back", "", "1.0",
       kGiveUpAfter + milliseconds(1), kGiveUpAfter + kAnswerStep},
      {"first install never answers", [&] { fs::remove_all(target); }, kHelperNothingToRestore,
       "failed", "new app did not start, no previous bundle", "2.0", kGiveUpAfter + milliseconds(1),
       kGiveUpAfter + kAnswerStep},
      {"launcher stays", [&] { plan.pid = ownPid(); }, kHelperUnchanged, "failed",
       "launcher " + std::to_string(ownPid()) + " did not quit", "1.0", kLauncherQuitLimit,
       kLauncherQuitLimit},
      {"staged copy elsewhere",
       [&] {
         plan.stageDir = (dir / "elsewhere").string();
         plan.staged = stagedBundle(plan.stageDir).string();
       },
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
    elapsed = {};
    c.arrange();
    EXPECT_EQ(runHelper(), c.status);
    EXPECT_EQ(written()->state, c.state);
    EXPECT_EQ(written()->note, c.note);
    EXPECT_EQ(versionAt(target), c.versionAtTarget);
    EXPECT_EQ(fs::exists(cfg.xplatDir / "skip-version"), c.status == kHelperRestored);
    EXPECT_GE(elapsed, c.atLeast);
    EXPECT_LE(elapsed, c.atMost);
  }
}

}  // namespace
}  // namespace kaldra
