// The game file update as a player sees it: the real launcher drives a scripted updater
// tool's "prepare" and answers its failure dialog by script.
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <thread>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

using Lines = std::vector<std::string>;

// A run that stops before the game, with the bundle counted as installed, and an
// updater tool that answers "texts" with an empty table and runs `prepare` (shell
// commands) for "prepare". Each "prepare" appends a line to prepare-runs.txt.
class GameUpdateRun : public ::testing::Test {
 protected:
  void useUpdater(const std::string& prepare, const std::string& verify = "exit 0") {
    run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
    run.env["KALDRA_TEST_INSTALL_DIR"] = run.root().string();
    run.useScriptedUpdater(
        "case \"$1\" in\n"
        "texts) echo '{}' ;;\n"
        "prepare) echo run >> '" +
        runsFile().string() + "'\n" + prepare +
        "\n;;\n"
        "verify) " +
        verify +
        " ;;\n"
        "*) exit 1 ;;\n"
        "esac\n");
  }
  fs::path runsFile() const { return run.root() / "prepare-runs.txt"; }
  size_t prepareRuns() const {
    std::string runs = run.file(runsFile());
    return static_cast<size_t>(std::count(runs.begin(), runs.end(), '\n'));
  }
  size_t snapshotsNamed(const std::string& name) const {
    auto names = run.snapshots();
    return static_cast<size_t>(std::count_if(names.begin(), names.end(), [&](const auto& file) {
      return file.ends_with("-" + name + ".png");
    }));
  }
  Lines linesFrom(const std::string& first) const {
    auto lines = run.logLines();
    auto at = std::find(lines.begin(), lines.end(), first);
    return Lines(at, lines.end());
  }

  LauncherRun run;
};

TEST_F(GameUpdateRun, RetryRunsPrepareAgainWithAFreshToolLog) {
  useUpdater("n=$(wc -l < '" + runsFile().string() +
             "')\necho \"attempt $n\" >&2\n[ \"$n\" -ge 2 ] && exit 0\nexit 1");
  run.env["KALDRA_TEST_ANSWERS"] = "0";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(prepareRuns(), 2u);
  EXPECT_EQ(linesFrom("updater exit 1"),
            (Lines{"updater exit 1", "updater exit 0", "test: stop before the game start"}));
  EXPECT_EQ(run.file(run.logsDir() / "updater.log"), "attempt 2\n");
  EXPECT_EQ(snapshotsNamed("dialog"), 1u);
}

TEST_F(GameUpdateRun, OpenLogAnswerShowsTheLogsFolderAndQuits) {
  useUpdater(R"(echo '{"type":"error","kind":"other","user":"Broken"}'; exit 4)");
  run.env["KALDRA_TEST_ANSWERS"] = "1";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(prepareRuns(), 1u);
  EXPECT_FALSE(run.logged("test: stop before the game start"));
  // The folder is opened, not the file. The opener is detached: give it time to note it.
  auto opened = run.opened();
  for (int i = 0; i < 250 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    opened = run.opened();
  }
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], run.logsDir().string());
}

TEST_F(GameUpdateRun, ProgressEventsAppearInTheWindow) {
  useUpdater(R"(echo '{"type":"progress","label":"Downloading game files","pct":10,)"
             R"("stage":"download","done":1400000,"total":3000000}'; sleep 0.6)"
             "\n"
             R"(echo '{"type":"progress","label":"Installing game files","pct":90}'; sleep 0.6)"
             "\nexit 0");
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(run.logLines().back(), "test: stop before the game start");
  EXPECT_TRUE(run.logged("updater exit 0"));
  // One photograph per new kind of status: checking, downloading, installing (and
  // perhaps the ready text, when the launcher is still there to take it).
  EXPECT_GE(snapshotsNamed("window"), 3u);
  for (const auto& name : run.snapshots()) {
    QImage image(QString::fromStdString((run.snapshotDir() / name).string()));
    EXPECT_FALSE(image.isNull()) << name;
  }
}

}  // namespace
}  // namespace kaldra::testing
