// The game file update as a player sees it: the real launcher with its real updater tool
// against a channel served over loopback HTTP, and with a scripted tool whose failure
// dialog is answered by script.
#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/launcher_run.h"
#include "tests/support/running_program.h"
#include "tests/support/web_server.h"

namespace kaldra::testing {
namespace {

TEST(GameUpdateRun, GameFilesArriveOverHttp) {
  LauncherRun run;
  fs::path channel = run.root() / "channel";
  fs::create_directories(channel / "data");
  std::ofstream(channel / "kaldrith.exe") << "the game's executable";
  std::ofstream(channel / "data/strings.txt") << "hello from the channel\n";
  // Signed with the bundle's own tool.
  ASSERT_EQ(std::system(((run.resources() / "bin/kaldra-update").string() + " publish " +
                         channel.string() + " --key " KALDRA_SIGNING_KEY " > /dev/null")
                            .c_str()),
            0);
  WebServer server{channel};
  run.env["KALDRA_UPDATE_CHANNEL"] = server.url("http");
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_TRUE(result.status == 0 && run.logged("test: stop before the game start"))
      << run.file(run.logsDir() / "updater.log");
  fs::path game = run.dataDir() / "prefix/drive_c/Kaldrith";
  EXPECT_EQ(run.file(game / "data/strings.txt") + run.file(game / "kaldrith.exe"),
            "hello from the channel\nthe game's executable");
}

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
  eventually([&] { return !run.opened().empty(); }, std::chrono::seconds(5));
  EXPECT_EQ(run.opened(), (std::vector<std::string>{run.logsDir().string()}));
}

}  // namespace
}  // namespace kaldra::testing
