#include "swap/settle_swap.h"

#include <gtest/gtest.h>

#include "proc/process_queries.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class Settle : public testing::SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    cfg.appBundle = dir / "Applications/Kaldrith.app";
    cfg.appVersion = "2.0";
    cfg.installTarget = cfg.appBundle;
    fs::create_directories(cfg.appBundle);
  }

  // A plan about this bundle, updated from 1.0 to 2.0, with its staging folder.
  SwapPlan plan(const std::string& state) {
    fs::path stage = stagingDir(cfg.appBundle);
    fs::create_directories(stagedBundle(stage));
    return {.op = "update",
            .from = "1.0",
            .to = "2.0",
            .source = (dir / "Volumes/Kaldrith.app").string(),
            .target = cfg.appBundle.string(),
            .staged = stagedBundle(stage).string(),
            .stageDir = stage.string(),
            .state = state};
  }
  bool stageExists() const { return fs::exists(cfg.xplatDir / "mac-swap"); }
};

TEST_F(Settle, EachStateSettlesOnlyTheCopyItIsAbout) {
  const Pid me = ownPid();
  struct Case {
    std::string state;
    Pid pid, helper;
    std::string appVersion;
    bool settled;
    std::optional<std::string> notice;
    std::string logLine;
  } cases[] = {
      {"swapped", 0, 0, "2.0", true, std::nullopt,
       "self-update 1.0 -> 2.0 confirmed; previous bundle removed"},
      {"swapped", 0, 0, "3.0", false, std::nullopt, ""},
      // The helper died swapping back.
      {"swapped", 0, 0, "1.0", true, "xplat_start_failed_restored",
       "self-update to 2.0 rolled back to 1.0"},
      {"rolled-back", 0, 0, "2.0", false, std::nullopt, ""},
      {"failed", 0, 0, "1.0", true, "xplat_failed n", "self-update failed earlier: n"},
      {"staged", 0, 0, "9", true, std::nullopt,
       "removed an interrupted self-update (never exchanged)"},
      {"staged", 0, me, "9", false, std::nullopt, ""},
      {"staged", me, 0, "9", false, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state + " in " + c.appVersion);
    fs::remove_all(cfg.logsDir);
    SwapPlan p = plan(c.state);
    p.pid = c.pid, p.helper = c.helper, p.note = "n";
    writePlan(p, cfg.swapPlanURL);
    cfg.appVersion = c.appVersion;

    EXPECT_EQ(settleSwap(), c.notice);
    EXPECT_EQ(fs::exists(cfg.swapPlanURL), !c.settled);
    EXPECT_EQ(stageExists(), !c.settled);
    EXPECT_EQ(logLines(),
              c.logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.logLine});
    fs::remove(cfg.swapPlanURL);
  }
}

TEST_F(Settle, PlanNeverMakesItDeleteAForeignFolder) {
  fs::path precious = dir / "precious";
  fs::create_directories(precious / "keep");
  SwapPlan p = plan("rolled-back");
  p.stageDir = precious.string();
  writePlan(p, cfg.swapPlanURL);
  cfg.appVersion = "1.0";
  EXPECT_EQ(settleSwap(), "xplat_start_failed_restored");
  EXPECT_TRUE(fs::exists(precious / "keep"));
  EXPECT_FALSE(fs::exists(cfg.swapPlanURL));
}

}  // namespace
}  // namespace kaldra
