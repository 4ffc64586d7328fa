#include "swap/prepare_swap.h"

#include <gtest/gtest.h>

#include "proc/process_queries.h"
#include "swap/swap_error.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

TEST(HandedOnEnv, OnlyLauncherSettingsWithTheAnswersMeantForAfterTheSwap) {
  struct Case {
    Env env;
    std::map<std::string, std::string> handed;
  } cases[] = {
      {{{"HOME", "/home/p"},
        {"KALDRA_LANG", "de"},
        {"KALDRA_TEST_ANSWERS", "1,0"},
        {"KALDRA_TEST_ANSWERS_AFTER_SWAP", "2"},
        {"KALDRAX", "1"}},
       {{"KALDRA_LANG", "de"}, {"KALDRA_TEST_ANSWERS", "2"}}},
      {{{"KALDRA_TEST_ANSWERS", "1"}, {"KALDRA_DATA_DIR", "/d"}}, {{"KALDRA_DATA_DIR", "/d"}}},
      {{{"KALDRA_TEST_ANSWERS_AFTER_SWAP", ""}}, {{"KALDRA_TEST_ANSWERS", ""}}},
      {{}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(handedOnEnv(c.env), c.handed);
}

class PrepareSwap : public testing::SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    target = makeBundle(dir / "Applications/Kaldrith.app", "1.0");
    source = makeBundle(dir / "Volumes/Kaldrith/Kaldrith.app", "2.0");
  }
  std::string refusal(const fs::path& from, const fs::path& to, const std::string& version) {
    try {
      prepareSwap("update", from, to, "1.0", version);
    } catch (const SwapError& e) {
      return e.text;
    }
    return "accepted";
  }
  fs::path target, source;
};

TEST_F(PrepareSwap, RefusalsLeaveTheBundleAndAnEarlierPlanAlone) {
  fs::path link = dir / "link/Kaldrith.app";
  fs::create_directories(link.parent_path());
  fs::create_directory_symlink(target, link);
  fs::path stage = cfg.xplatDir / "mac-swap";
  SwapPlan earlier{.op = "update", .target = target.string(), .state = "swapped"};
  struct Case {
    const char* what;
    std::string planState;
    Pid helper;
    fs::path source, target;
    std::string version, refusal;
  } cases[] = {
      {"helper of a staged plan alive", "staged", ownPid(), source, target, "2.0",
       "another update is still running (helper " + std::to_string(ownPid()) + ")"},
      {"helper of a swapped plan alive", "swapped", ownPid(), source, target, "2.0",
       "another update is still running (helper " + std::to_string(ownPid()) + ")"},
      {"target is a link", "failed", ownPid(), source, link, "2.0",
       "no app bundle at " + link.string()},
      {"copy fails", "swapped", 0, dir / "gone.app", target, "2.0",
       "copy failed: ditto: " + (dir / "gone.app").string() + ": No such file or directory"},
      {"other version", "rolled-back", ownPid(), source, target, "3.0",
       "unexpected bundle com.kaldrith.client 2.0 (expected com.kaldrith.client 3.0)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    earlier.state = c.planState;
    earlier.helper = c.helper;
    writePlan(earlier, cfg.swapPlanURL);
    std::string before = read(cfg.swapPlanURL);
    EXPECT_EQ(refusal(c.source, c.target, c.version), c.refusal);
    EXPECT_EQ(read(cfg.swapPlanURL), before);
    EXPECT_FALSE(fs::exists(stage));
    EXPECT_EQ(read(target / "Contents/MacOS/Kaldrith"), "launcher 1.0\n");
  }
  EXPECT_TRUE(logLines().empty());
}

}  // namespace
}  // namespace kaldra
