// The launcher replacing its own bundle as a player sees it: the real bundle, the real
// stand-ins, the real detached helper and the new launcher confirming its start.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <thread>

#include "tests/support/swap_bundles.h"

namespace kaldra::testing {
namespace {

class BundleSwap : public ::testing::Test {
 protected:
  BundleSwap() {
    run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
    addSwapDriver(run);
    copyAsVersion(run.app(), v2, "2.0.0");
  }
  RunResult update() { return prepareExchange(run, "update", v2, run.app(), "1.0.0", "2.0.0"); }

  LauncherRun run;
  fs::path v2 = run.root() / "download/Kaldrith.app";
};

TEST_F(BundleSwap, UpdateInPlaceIsConfirmedByTheNewVersion) {
  RunResult prepared = update();
  ASSERT_EQ(prepared.status, 0) << prepared.output;
  ASSERT_TRUE(waitForHelper(run, run.app()));
  EXPECT_TRUE(run.logged("self-update 1.0.0 -> 2.0.0 confirmed; previous bundle removed"));
  // The new launcher went on with the settings handed on to it.
  EXPECT_TRUE(run.logged("test: stop before the game start"));
  EXPECT_EQ(expectSettled(run, run.app()), "2.0.0");
}

TEST_F(BundleSwap, FailedStartRollsBackTellsThePlayerAndHoldsOffASecondUpdate) {
  run.env["KALDRA_TEST_FAIL_START"] = "2.0.0";
  run.env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "0";
  RunResult prepared = update();
  ASSERT_EQ(prepared.status, 0) << prepared.output;

  // While the helper waits for an answer that never comes, no second exchange starts.
  for (int i = 0; i < 200 && !run.logged("test: start of 2.0.0 fails before confirming"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RunResult second = update();
  EXPECT_EQ(second.status, 1);
  EXPECT_TRUE(std::regex_match(second.output,
                               std::regex("another update is still running \\(helper [0-9]+\\)\n")))
      << second.output;

  ASSERT_TRUE(waitForHelper(run, run.app()));
  EXPECT_TRUE(run.logged("self-update to 2.0.0 rolled back to 1.0.0"));
  EXPECT_EQ(run.file(run.dataDir() / "xplat/skip-version"), "2.0.0\n");
  EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");
  // The restored launcher showed the notice before going on.
  auto snapshots = run.snapshots();
  EXPECT_TRUE(std::any_of(snapshots.begin(), snapshots.end(),
                          [](const std::string& name) { return name.ends_with("-dialog.png"); }));
  EXPECT_TRUE(run.logged("test: stop before the game start"));
}

TEST_F(BundleSwap, FirstInstallMovesTheCopyIntoAnEmptyFolder) {
  fs::path target = run.root() / "Applications/Kaldrith.app";
  fs::create_directories(target.parent_path());
  RunResult prepared = prepareExchange(run, "install", run.app(), target, "", "1.0.0");
  ASSERT_EQ(prepared.status, 0) << prepared.output;
  ASSERT_TRUE(waitForHelper(run, target));
  EXPECT_TRUE(run.logged("self-install - -> 1.0.0 confirmed; previous bundle removed"));
  EXPECT_EQ(expectSettled(run, target), "1.0.0");
  EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");
}

TEST_F(BundleSwap, RefusedPreparationLeavesEverythingAsItWas) {
  std::ofstream(v2 / "Contents/Resources/share/kaldra-wine.sh", std::ios::app) << "# extra\n";
  fs::path link = run.root() / "link/Kaldrith.app";
  fs::create_directories(link.parent_path());
  fs::create_directory_symlink(run.app(), link);
  struct Case {
    fs::path target;
    std::string expected;
  } cases[] = {
      {run.app(), "signature check failed: " + (run.dataDir() / "xplat/mac-swap").string() +
                      "/Kaldrith.app: file modified: Contents/Resources/share/kaldra-wine.sh\n"},
      {link, "no app bundle at " + link.string() + "\n"},
  };
  for (const auto& c : cases) {
    RunResult prepared = prepareExchange(run, "update", v2, c.target, "1.0.0", "2.0.0");
    EXPECT_EQ(prepared.status, 1);
    EXPECT_EQ(prepared.output, c.expected);
    EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");
    EXPECT_TRUE(fs::is_symlink(link));
  }
}

}  // namespace
}  // namespace kaldra::testing
