// The game file update as a player sees it: the real launcher drives a scripted updater
// tool's "prepare" and answers its failure dialog by script.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

// A run counted as installed whose updater tool fails each "prepare", appending a line to
// prepare-runs.txt: the first answer retries with a fresh tool log, the second opens the
// logs folder and quits.
TEST(GameUpdateRun, RetryRunsPrepareAgainAndOpenLogShowsTheLogsFolder) {
  LauncherRun run;
  fs::path runs = run.root() / "prepare-runs.txt";
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  run.env["KALDRA_TEST_INSTALL_DIR"] = run.root().string();
  run.env["KALDRA_TEST_ANSWERS"] = "0,1";
  run.useScriptedUpdater("case \"$1\" in\ntexts) echo '{}' ;;\nprepare) echo run >> '" +
                         runs.string() + "'\necho \"attempt $(wc -l < '" + runs.string() +
                         "')\" >&2\n"
                         R"(echo '{"type":"error","kind":"other","user":"Broken"}'; exit 4 ;;)"
                         "\n*) exit 1 ;;\nesac\n");
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(run.file(runs), "run\nrun\n");
  EXPECT_EQ(run.file(run.logsDir() / "updater.log"), "attempt 2\n");
  EXPECT_FALSE(run.logged("test: stop before the game start"));
  auto shots = run.snapshots();
  EXPECT_EQ(std::count_if(shots.begin(), shots.end(),
                          [](const auto& name) { return name.ends_with("-dialog.png"); }),
            2);
  // The folder is opened, not the file. The opener is detached: give it time to note it.
  auto opened = run.opened();
  for (int i = 0; i < 250 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    opened = run.opened();
  }
  EXPECT_EQ(opened, (std::vector<std::string>{run.logsDir().string()}));
}

}  // namespace
}  // namespace kaldra::testing
