#include "swap/settle_swap.h"

#include <gtest/gtest.h>

#include "proc/process_queries.h"
#include "swap/staging.h"
#include "swap/swap_plan.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class Settle : public testing::SwapSandbox {};

TEST_F(Settle, EachStateSettlesOnlyTheCopyItIsAbout) {
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
