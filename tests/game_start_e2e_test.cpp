// The start script runs the stand-in game under real Wine on a virtual screen (natively with
// Wine hidden); its end decides the launcher's: quiet, a dialog, or not waiting for Wine.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "platform/spawn.h"

#include "tests/support/launcher_run.h"
#include "tests/support/log_file.h"
#include "tests/support/running_program.h"
#include "tests/support/virtual_screen.h"
#include "tests/support/web_server.h"

namespace kaldra::testing {
namespace {

using Clock = std::chrono::system_clock;
constexpr int kWineBusy = -1;

struct GameRow {
  const char* name;
  std::map<std::string, std::string> env;  // orders to the stand-in game, Wine hidden
  int status;                              // the game's, or kWineBusy
  bool hiding;  // the status window hid while the game ran (not asked of short games)
};

std::optional<Clock::time_point> snapshotTime(const LauncherRun& run, const std::string& suffix) {
  for (const auto& name : run.snapshots())
    if (name.ends_with(suffix))
      return std::chrono::time_point_cast<Clock::duration>(
          std::chrono::file_clock::to_sys(fs::last_write_time(run.snapshotDir() / name)));
  return std::nullopt;
}

// When the game's window was shown, by the game's own clock line.
std::optional<Clock::time_point> windowShown(const LauncherRun& run) {
  for (const auto& line : linesOf(run.file(run.logsDir() / "game.log")))
    if (line.starts_with("Kaldrith window shown at "))
      return Clock::time_point(std::chrono::milliseconds(std::stoll(line.substr(25))));
  return std::nullopt;
}

bool helperRunning() {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    std::string command = readFile(entry.path() / "cmdline");
    if (command.find("kaldrith.exe") != std::string::npos &&
        command.find("--helper") != std::string::npos)
      return true;
  }
  return false;
}

TEST(GameRun, TheGameStartsUnderWineOrWithoutAndItsEndDecidesTheLauncherEnd) {
  const GameRow rows[] = {
      {"first start: the prefix is made, then the game runs", {{"SECONDS", "1"}}, 0, false},
      {"a windowed game hides the status window", {{"SECONDS", "7"}}, 0, true},
      {"status 1 is a normal end", {{"EXIT", "1"}}, 1, false},
      {"status 3", {{"EXIT", "3"}}, 3, false},
      {"a crash", {{"CRASH", "1"}}, 5, false},
      {"a helper left behind", {{"HELPER_SECONDS", "40"}}, kWineBusy, false},
      {"no Wine: the native stand-in", {{"WINE_SEARCH", ""}}, 0, false},
  };
  VirtualScreen screen;
  LauncherRun run;
  run.skipSelfUpdate();
  // The real updater tool brings the game from the bundle's demo channel, over HTTP.
  WebServer channel{run.resources() / "demo-channel"};
  run.env["KALDRA_UPDATE_CHANNEL"] = channel.url("http");
  run.env["DISPLAY"] = screen.display();
  run.env["KALDRA_TEST_ANSWERS"] = "0";  // the failure dialog: open the logs
  fs::path prefix = run.dataDir() / "prefix", game = prefix / "drive_c/Kaldrith";
  // Wine goes on after the launcher, as it should; the test ends it.
  struct StopWine {
    fs::path prefix;
    ~StopWine() {
      std::system(("WINEPREFIX='" + prefix.string() + "' /usr/lib/wine/wineserver -k").c_str());
    }
  } stopWine{prefix};

  std::size_t dialogs = 0;
  for (const GameRow& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(run.snapshotDir());
    fs::create_directories(run.snapshotDir());
    for (const char* name : {"SECONDS", "EXIT", "CRASH", "HELPER_SECONDS"})
      run.env.erase(std::string("KALDRA_STANDIN_") + name);
    run.env.erase("KALDRA_WINE_SEARCH");
    run.env["KALDRA_STANDIN_SECONDS"] = "0";
    for (const auto& [name, value] : row.env)
      run.env[(name == "WINE_SEARCH" ? "KALDRA_" : "KALDRA_STANDIN_") + name] = value;
    bool wine = !row.env.contains("WINE_SEARCH");
    bool firstStart = !fs::exists(prefix / ".kaldra-runtime");

    auto started = Clock::now();
    RunResult result = run.start(std::chrono::seconds(90));
    auto took = Clock::now() - started;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(),
              row.status == kWineBusy
                  ? "game exit (Wine still busy with other processes of the prefix); launcher "
                    "quits without waiting"
                  : "game exit " + std::to_string(row.status));
    // The script's standard error, of this start only.
    std::string launchLog = run.file(run.logsDir() / "wine-launch.log");
    EXPECT_EQ(launchLog.find("setting up the Wine prefix") != std::string::npos, firstStart)
        << launchLog;
    if (row.status != kWineBusy) {
      EXPECT_NE(launchLog.find("the game ended with status " + std::to_string(row.status)),
                std::string::npos);
    }
    // The game itself ran, in the game folder.
    EXPECT_EQ(run.file(run.logsDir() / "game.log")
                  .find("Kaldrith stand-in game started in " +
                        (wine ? std::string("C:\\Kaldrith\r") : game.string()) + "\n"),
              0u);
    // Any status but 0 and 1 brings the dialog, whose first button opens the logs.
    bool failed = row.status > 1;
    auto shots = run.snapshots();
    EXPECT_EQ(std::count_if(shots.begin(), shots.end(),
                            [](const auto& name) { return name.ends_with("-dialog.png"); }),
              failed ? 1 : 0);
    dialogs += failed ? 1 : 0;
    EXPECT_TRUE(eventually([&] { return run.opened().size() == dialogs; }));
    if (row.hiding) {
      // After the game showed its window: four seconds after its program appeared, which a
      // busy machine may take two of them to turn into a window.
      auto hidden = snapshotTime(run, "-hiding.png");
      auto shown = windowShown(run);
      ASSERT_TRUE(hidden && shown);
      EXPECT_GT(*hidden - *shown, std::chrono::seconds(0));
      EXPECT_LT(*hidden - *shown, std::chrono::seconds(8));
    }
    if (row.status == kWineBusy) {
      // The launcher left without waiting for Wine, and left Wine running.
      EXPECT_LT(took, std::chrono::seconds(30));
      EXPECT_TRUE(helperRunning());
    }
  }
  EXPECT_EQ(run.opened(), std::vector<std::string>(dialogs, run.logsDir().string()));
  for (const char* path : {"kaldrith.exe", "data/strings.txt", "data/maps/harbour.map"})
    EXPECT_EQ(run.file(game / path), run.file(run.resources() / "demo-channel" / path)) << path;
}

// Real Wine refuses another user's prefix: set-up fails, so the next start tries again.
TEST(GameRun, APrefixWhoseSetUpFailedIsNotTakenAsReady) {
  LauncherRun run;
  run.env["KALDRA_WINE_DIR"] = run.resources() / "wine";
  fs::path prefix = run.dataDir() / "prefix";
  fs::create_directories(prefix);
  ASSERT_EQ(::chown(prefix.c_str(), 65534, 65534), 0);
  auto result =
      run.startProgram("/bin/sh", {(run.resources() / "share/kaldra-wine.sh").string(), "run"});
  EXPECT_EQ(result.status, 70) << result.output;
  EXPECT_FALSE(fs::exists(prefix / ".kaldra-runtime"));
}

// The game's host ends with the game's status, whatever ended it, and passes TERM on.
TEST(GameHost, EndsWithTheGamesStatus) {
  struct Row {
    std::vector<std::string> args;
    bool terminated;  // the host itself is asked to end
    int status;
  };
  const Row rows[] = {
      {{"/bin/sh", "-c", "exit 3"}, false, 3},
      {{"/bin/sh", "-c", "kill -SEGV $$"}, false, 128 + SIGSEGV},
      {{"/bin/sh", "-c", "trap 'kill $!; exit 7' TERM; sleep 30 & wait"}, true, 7},
      {{"/no/such/game"}, false, 127},
      {{}, false, 64},
  };
  LauncherRun run;
  fs::path host = run.resources() / "wine/lib/wine/x86_64-unix/Kaldrith";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.args.empty() ? "" : row.args.back());
    int pid = run.spawn(host, row.args);
    ASSERT_GT(pid, 0);
    if (row.terminated) {
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      ::kill(pid, SIGTERM);
    }
    EXPECT_EQ(platform::waitForExit(pid), row.status) << run.file(run.root() / "output.txt");
  }
}

}  // namespace
}  // namespace kaldra::testing
