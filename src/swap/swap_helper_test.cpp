#include "swap/swap_helper.h"

#include <gtest/gtest.h>

#include <memory>

#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

using testing::RunningProgram;

// The helper's waits run on a clock that moves only when the helper sleeps; `onSleep`
// plays the world around it (the new launcher answering, a process appearing).
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
            .state = "staged",
            .env = {{"KALDRA_LANG", "de"}}};
    clock.now = [this] { return WatchClock::TimePoint{} + elapsed; };
    clock.sleep = [this](WatchClock::Duration d) {
      elapsed += d;
      if (onSleep) onSleep();
    };
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
  bool saidAndLogged(const std::string& message) {
    auto lines = logLines();
    return std::find(lines.begin(), lines.end(), "swap helper: " + message) != lines.end();
  }
  // A process running from inside `bundle`, as a launcher or the game would.
  std::unique_ptr<RunningProgram> runInside(const fs::path& bundle) {
    fs::copy_file("/bin/sleep", bundle / "Contents/MacOS/sleeper",
                  fs::copy_options::overwrite_existing);
    auto program = std::make_unique<RunningProgram>(bundle / "Contents/MacOS/sleeper",
                                                    std::vector<std::string>{"30"});
    testing::eventually([&] { return !processesInside(bundle).empty(); });
    return program;
  }

  fs::path target;
  SwapPlan plan;
  WatchClock clock;
  WatchClock::Duration elapsed{0};
  std::function<void()> onSleep;
};

TEST_F(Helper, OnlyAStagedPlanIsTakenUp) {
  plan.state = "swapped";
  EXPECT_EQ(runHelper(), kHelperNoPlan);
  EXPECT_TRUE(saidAndLogged("no staged plan in " + cfg.swapPlanURL.string()));
  EXPECT_EQ(written()->helper, 0);
}

TEST_F(Helper, FailuresBeforeTheExchangeLeaveTheInstalledBundle) {
  std::unique_ptr<RunningProgram> busy;
  struct Case {
    const char* what;
    std::function<void()> arrange;
    std::function<std::string()> note;
    WatchClock::Duration waited;
  } cases[] = {
      {"launcher stays", [&] { plan.pid = ownPid(); },
       [&] { return "launcher " + std::to_string(ownPid()) + " did not quit"; },
       kLauncherQuitLimit},
      {"something runs from the target", [&] { busy = runInside(target); },
       [&] {
         return "still running from " + target.string() + ": [" + std::to_string(busy->pid()) + "]";
       },
       kBusyLimit},
      {"staged copy tampered",
       [&] { std::ofstream(plan.staged + "/Contents/MacOS/Kaldrith", std::ios::app) << "x"; },
       [&] {
         return "staged copy: signature check failed: " + plan.staged +
                ": file modified: Contents/MacOS/Kaldrith";
       },
       {}},
      {"staged copy elsewhere",
       [&] { plan.staged = (dir / "Kaldrith.app").string(); },
       [] { return std::string("staged copy: plan names unexpected paths"); },
       {}},
      {"target is a link",
       [&] {
         fs::rename(target, dir / "real.app");
         fs::create_directory_symlink(dir / "real.app", target);
       },
       [&] { return "staged copy: no app bundle at " + target.string(); },
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.arrange();
    EXPECT_EQ(runHelper(), kHelperUnchanged);
    std::string note = c.note();
    busy.reset();
    EXPECT_EQ(written()->state, "failed");
    EXPECT_EQ(written()->note, note);
    EXPECT_EQ(written()->helper, ownPid());
    EXPECT_EQ(elapsed, c.waited);
    EXPECT_TRUE(saidAndLogged("FAILED before the exchange: " + note + "; installed app unchanged"));
    EXPECT_EQ(versionAt(target), "1.0");
    EXPECT_EQ(versionAt(plan.staged), plan.staged == (dir / "Kaldrith.app").string() ? "-" : "2.0");
    elapsed = {};
  }
}

TEST_F(Helper, NewLauncherThatNeverAnswersIsSwappedBackWhenThereWasOne) {
  struct Case {
    bool firstInstall;
    int status;
    std::string state, note, versionAtTarget;
  } cases[] = {{false, kHelperRestored, "rolled-back", "", "1.0"},
               {true, kHelperNothingToRestore, "failed",
                "new app did not start, no previous bundle", "2.0"}};
  for (const auto& c : cases) {
    SetUp();
    if (c.firstInstall) fs::remove_all(target);
    EXPECT_EQ(runHelper(), c.status);
    EXPECT_EQ(written()->state, c.state);
    EXPECT_EQ(written()->note, c.note);
    EXPECT_EQ(versionAt(target), c.versionAtTarget);
    EXPECT_EQ(fs::exists(cfg.xplatDir / "skip-version"), !c.firstInstall);
    // It gives up once nothing has run from the target for more than 8 s.
    EXPECT_GT(elapsed, kGiveUpAfter);
    EXPECT_LE(elapsed, kGiveUpAfter + kAnswerStep);
    elapsed = {};
  }
}

TEST_F(Helper, NewLauncherRunningWithoutAnAnswerIsLeftInPlace) {
  std::unique_ptr<RunningProgram> newLauncher;
  onSleep = [&] {
    if (!newLauncher && versionAt(target) == "2.0") newLauncher = runInside(target);
    // A plan that cannot be read is no answer.
    std::ofstream(cfg.swapPlanURL, std::ios::app) << "x";
  };
  EXPECT_EQ(runHelper(), kHelperDone);
  EXPECT_EQ(elapsed, kAnswerLimit);
  EXPECT_TRUE(
      saidAndLogged("new app still running without confirmation after 180 s; left in place"));
  EXPECT_EQ(versionAt(plan.staged), "1.0");
}

}  // namespace
}  // namespace kaldra
