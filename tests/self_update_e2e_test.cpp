// The launcher replacing its own bundle: real bundle and stand-ins, a launcher channel over
// loopback HTTP, the real detached helper and the new launcher confirming its start.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <fstream>
#include <regex>

#include "proc/run_tool.h"
#include "tests/support/running_program.h"
#include "tests/support/swap_bundles.h"
#include "tests/support/web_server.h"

namespace kaldra::testing {
namespace {

TEST(SelfUpdate, AcceptedOfferReplacesTheBundleAndTheNewLauncherConfirms) {
  LauncherRun run;
  fs::path next = run.root() / "next/Kaldrith.app", channel = run.root() / "channel";
  auto publish = [&](const fs::path& bundle) {
    return runTool(
        (run.resources() / "bin/kaldra-update").string(),
        {"publish-launcher", bundle.string(), channel.string(), "--key", KALDRA_SIGNING_KEY});
  };
  // A version the launchers cannot read is never offered to them.
  copyAsVersion(run.app(), run.root() / "beta/Kaldrith.app", "1.1.0-beta");
  EXPECT_NE(publish(run.root() / "beta/Kaldrith.app").first, 0);
  EXPECT_FALSE(fs::exists(channel / "launcher-macos.json"));
  // A bundle's links travel as links, or its seal would fail on every machine.
  fs::create_symlink("Info.plist", run.app() / "Contents/Info-link.plist");
  copyAsVersion(run.app(), next, "1.1.0");
  auto [published, why] = publish(next);
  ASSERT_EQ(published, 0) << why;
  WebServer server{channel};
  run.env["KALDRA_XPLAT_FEED"] = server.url("http");
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  run.env["KALDRA_TEST_ANSWERS"] = "0";  // the offer: update and restart

  ASSERT_FALSE(run.start().timedOut);
  // Only the launcher that the helper started gets this far.
  ASSERT_TRUE(eventually([&] { return run.logged("test: stop before the game start"); },
                         std::chrono::seconds(60)))
      << run.file(run.logsDir() / "launcher.log");
  ASSERT_TRUE(waitForHelper(run, run.app()));
  EXPECT_EQ(expectSettled(run, run.app()), "1.1.0");
  EXPECT_TRUE(run.logged("self-update 1.0.0 -> 1.1.0 confirmed; previous bundle removed"));
  // Nothing is left beside the bundle or in the mount folders.
  for (const fs::path& folder : {run.root(), run.dataDir() / "xplat"})
    for (const auto& entry : fs::directory_iterator(folder))
      EXPECT_FALSE(std::regex_search(entry.path().filename().string(),
                                     std::regex("Kaldrith\\.app\\.|^mnt-")))
          << entry.path();
}

// The exchange driver's preparations in one world, each followed to a settled install.
TEST(BundleSwap, FailedStartRollsBackRefusalsChangeNothingFirstInstallMovesAKillSettles) {
  LauncherRun run;
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  fs::path v2 = addSwapDriver(run);
  auto prepare = [&](const fs::path& target, const std::string& op = "update") {
    bool update = op == "update";
    return run.startProgram(run.app() / "Contents/MacOS/swap-driver",
                            {"prepare", op, (update ? v2 : run.app()).string(), target.string(),
                             update ? "1.0.0" : "", update ? "2.0.0" : "1.0.0"});
  };

  run.env["KALDRA_TEST_FAIL_START"] = "2.0.0";
  run.env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "0";
  RunResult prepared = prepare(run.app());
  ASSERT_EQ(prepared.status, 0) << prepared.output;
  // While the helper waits for an answer that never comes, no second exchange starts.
  ASSERT_TRUE(eventually([&] { return run.logged("test: start of 2.0.0 fails before confirming"); },
                         std::chrono::seconds(20)));
  RunResult second = prepare(run.app());
  EXPECT_TRUE(second.status == 1 && second.output.starts_with("another update is still running"))
      << second.output;
  ASSERT_TRUE(waitForHelper(run, run.app()));
  EXPECT_TRUE(run.logged("self-update to 2.0.0 rolled back to 1.0.0"));
  EXPECT_EQ(run.file(run.dataDir() / "xplat/skip-version"), "2.0.0\n");
  EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");
  // The restored launcher showed the notice before going on.
  EXPECT_TRUE(std::ranges::any_of(run.snapshots(),
                                  [](auto& name) { return name.ends_with("-dialog.png"); }));
  EXPECT_TRUE(run.logged("test: stop before the game start"));

  std::ofstream(v2 / "Contents/Resources/share/kaldra-wine.sh", std::ios::app) << "# extra\n";
  fs::path link = run.root() / "link/Kaldrith.app";
  fs::create_directories(link.parent_path());
  fs::create_directory_symlink(run.app(), link);
  for (const auto& [target, expected] : {
           std::pair{run.app(),
                     "signature check failed: " + (run.dataDir() / "xplat/mac-swap").string() +
                         "/Kaldrith.app: file modified: "
                         "Contents/Resources/share/kaldra-wine.sh\n"},
           std::pair{link, "no app bundle at " + link.string() + "\n"},
       }) {
    prepared = prepare(target);
    EXPECT_EQ(std::pair(prepared.status, prepared.output), std::pair(1, expected));
    EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");
    EXPECT_TRUE(fs::is_symlink(link));
  }

  fs::path target = run.root() / "Applications/Kaldrith.app";
  fs::create_directories(target.parent_path());
  prepared = prepare(target, "install");
  ASSERT_EQ(prepared.status, 0) << prepared.output;
  ASSERT_TRUE(waitForHelper(run, target));
  EXPECT_TRUE(run.logged("self-install - -> 1.0.0 confirmed; previous bundle removed"));
  EXPECT_EQ(expectSettled(run, target), "1.0.0");
  EXPECT_EQ(expectSettled(run, run.app()), "1.0.0");

  // Killed the moment the bundles are exchanged, the helper leaves a plan that the player's
  // next starts settle to one working bundle.
  run.env.erase("KALDRA_TEST_FAIL_START");
  fs::remove_all(v2);
  copyAsVersion(run.app(), v2, "2.0.0");
  ASSERT_EQ(prepare(run.app()).status, 0);
  ASSERT_TRUE(eventually([&] { return bundleVersion(run, run.app()) == "2.0.0"; },
                         std::chrono::seconds(20)));
  ::kill(spawnedHelper(run.logLines()), SIGKILL);
  for (int start = 0; waitForHelper(run, run.app()) && start < 3 &&
                      fs::exists(run.dataDir() / "xplat/mac-swap.json");
       ++start)
    run.start();
  std::string version = expectSettled(run, run.app());
  EXPECT_TRUE(version == "1.0.0" || version == "2.0.0") << version;
}

}  // namespace
}  // namespace kaldra::testing
