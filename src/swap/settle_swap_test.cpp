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
    // No text table: the keys themselves stand for their texts.
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
  const Pid dead = 0;
  struct Case {
    const char* what;
    std::function<void(SwapPlan&)> change;
    std::string appVersion;
    bool settled;
    std::optional<std::string> notice;
    std::string logLine;
  } cases[] = {
      {"swapped, here and new", [](SwapPlan& p) { p.state = "swapped"; }, "2.0", true, std::nullopt,
       "self-update 1.0 -> 2.0 confirmed; previous bundle removed"},
      {"confirmed again", [](SwapPlan& p) { p.state = "confirmed"; }, "2.0", true, std::nullopt,
       "self-update 1.0 -> 2.0 confirmed; previous bundle removed"},
      {"first install", [](SwapPlan& p) { p.state = "swapped", p.op = "install", p.from = ""; },
       "2.0", true, std::nullopt, "self-install - -> 2.0 confirmed; previous bundle removed"},
      {"swapped, other version", [](SwapPlan& p) { p.state = "swapped"; }, "3.0", false,
       std::nullopt, ""},
      {"swapped, other path",
       [this](SwapPlan& p) { p.state = "swapped", p.target = (dir / "x/Kaldrith.app").string(); },
       "2.0", false, std::nullopt, ""},
      {"swapped, helper waiting, previous version",
       [](SwapPlan& p) { p.state = "swapped", p.helper = ownPid(); }, "1.0", false, std::nullopt,
       ""},
      {"swapped, helper died swapping back", [](SwapPlan& p) { p.state = "swapped"; }, "1.0", true,
       "xplat_start_failed_restored", "self-update to 2.0 rolled back to 1.0"},
      {"rolled back", [](SwapPlan& p) { p.state = "rolled-back"; }, "1.0", true,
       "xplat_start_failed_restored", "self-update to 2.0 rolled back to 1.0"},
      {"rolled back, seen by the rejected version", [](SwapPlan& p) { p.state = "rolled-back"; },
       "2.0", false, std::nullopt, ""},
      {"failed update",
       [](SwapPlan& p) { p.state = "failed", p.note = "launcher 812 did not quit"; }, "1.0", true,
       "xplat_failed launcher 812 did not quit",
       "self-update failed earlier: launcher 812 did not quit"},
      {"failed install, from its source",
       [this](SwapPlan& p) {
         p.state = "failed", p.op = "install", p.note = "n", p.source = p.target;
         p.target = (dir / "Applications/y/Kaldrith.app").string();
         fs::create_directories(dir / "Applications/y");
       },
       "1.0", true, "mac_install_failed n", "self-install failed earlier: n"},
      {"failed elsewhere",
       [this](SwapPlan& p) { p.state = "failed", p.target = (dir / "z/Kaldrith.app").string(); },
       "1.0", false, std::nullopt, ""},
      {"staged, nobody alive", [dead](SwapPlan& p) { p.state = "staged", p.pid = dead; }, "9", true,
       std::nullopt, "removed an interrupted self-update (never exchanged)"},
      {"staged, helper alive", [](SwapPlan& p) { p.state = "staged", p.helper = ownPid(); }, "9",
       false, std::nullopt, ""},
      {"staged, launcher alive", [](SwapPlan& p) { p.state = "staged", p.pid = ownPid(); }, "9",
       false, std::nullopt, ""},
      {"unknown state", [](SwapPlan& p) { p.state = "paused"; }, "2.0", false, std::nullopt, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(cfg.logsDir);
    SwapPlan p = plan("");
    c.change(p);
    writePlan(p, cfg.swapPlanURL);
    cfg.appVersion = c.appVersion;

    EXPECT_EQ(settleSwap(), c.notice);
    EXPECT_EQ(fs::exists(cfg.swapPlanURL), !c.settled);
    EXPECT_EQ(stageExists(), !c.settled);
    auto lines = logLines();
    EXPECT_EQ(lines,
              c.logLine.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.logLine});
    if (!c.settled) {
      EXPECT_EQ(readPlan(cfg.swapPlanURL)->state, p.state);
    }
    fs::remove(cfg.swapPlanURL);
  }
}

TEST_F(Settle, WithoutAPlanOnlyLeftoverStagingFoldersGo) {
  EXPECT_EQ(settleSwap(), std::nullopt);
  EXPECT_TRUE(logLines().empty());
  EXPECT_TRUE(fs::is_directory(cfg.xplatDir));

  fs::create_directories(cfg.xplatDir / "mac-swap/Kaldrith.app");
  fs::create_directories(cfg.xplatDir);
  std::ofstream(cfg.swapPlanURL) << "{\"op\":";  // damaged: left as it is
  EXPECT_EQ(settleSwap(), std::nullopt);
  EXPECT_FALSE(stageExists());
  EXPECT_TRUE(fs::exists(cfg.swapPlanURL));
  EXPECT_EQ(logLines(), std::vector<std::string>{"removing leftover staging folder " +
                                                 (cfg.xplatDir / "mac-swap").string()});
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

  p.target = "Kaldrith.app";  // relative: its staging folder would be wherever we run
  p.stageDir = ".Kaldrith-swap";
  fs::create_directories(dir / ".Kaldrith-swap");
  fs::path previous = fs::current_path();
  fs::current_path(dir.path());
  removeStage(p);
  fs::current_path(previous);
  EXPECT_TRUE(fs::exists(dir / ".Kaldrith-swap"));
}

}  // namespace
}  // namespace kaldra
