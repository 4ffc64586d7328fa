// A first launch photographed in the chosen language, and the ways the launcher ends.
#include <gtest/gtest.h>

#include <QImage>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

// The real tool's texts, but a game update that fails without a word after `before`.
void useFailingPrepare(LauncherRun& run, const std::string& before = "") {
  fs::rename(run.resources() / "bin/kaldra-update", run.resources() / "bin/kaldra-update.real");
  run.useScriptedUpdater("case \"$1\" in texts) exec \"$0.real\" \"$@\" ;; esac\n" + before +
                         "exit 3\n");
}

TEST(LauncherWindow, FirstStatusAndDialogArePhotographedInTheChosenLanguage) {
  LauncherRun run;
  useFailingPrepare(run);
  run.env["KALDRA_LANG"] = "de";
  run.env["KALDRA_TEST_ANSWERS"] = "2";
  RunResult result = run.start();
  EXPECT_EQ(result.status, 0) << result.output;
  auto shots = run.snapshots();
  ASSERT_EQ(shots.size(), 2u) << ::testing::PrintToString(shots);
  EXPECT_TRUE(shots[0].starts_with("mac-01-") && shots[0].ends_with("-window.png"));
  EXPECT_TRUE(shots[1].starts_with("mac-02-") && shots[1].ends_with("-dialog.png"));
  QImage window(QString::fromStdString((run.snapshotDir() / shots[0]).string()));
  EXPECT_EQ(window.width(), 520);
  EXPECT_GT(window.height(), 170);
  EXPECT_TRUE(run.logLines().front().starts_with("start lang=de "));
  EXPECT_TRUE(run.logged("updater exit 3"));
}

// Asked politely to end, in any state, the launcher is gone within a second.
TEST(LauncherWindow, TerminationRequestEndsTheLauncherWithinASecondInEveryState) {
  for (bool dialogOpen : {true, false}) {
    SCOPED_TRACE(dialogOpen ? "dialog open" : "game supervised");
    LauncherRun run;
    fs::path late = run.root() / "still-running";
    std::string request =
        "kill -TERM $PPID; sleep 1; kill -0 $PPID 2>/dev/null && touch '" + late.string() + "'";
    if (dialogOpen)  // the error dialog waits for a person (no scripted answers)
      // Gives up after 20 s, so that a launcher that never shows the dialog leaves no
      // loop behind.
      useFailingPrepare(run, "(i=0; while ! ls '" + run.snapshotDir().string() +
                                 "' | grep -q dialog; do [ $((i += 1)) -gt 200 ] && exit; "
                                 "sleep 0.1; done; " +
                                 request + ") >/dev/null 2>&1 &\n");
    else
      run.useScriptedStartScript(request + "\nsleep 5\n");
    RunResult result = run.start(std::chrono::seconds(20));
    ASSERT_FALSE(result.timedOut) << result.output;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_FALSE(fs::exists(late));
  }
}

}  // namespace
}  // namespace kaldra::testing
