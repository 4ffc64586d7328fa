// The game as a player starts it where Wine is installed: the bundle's start script runs the
// Windows stand-in game under the system's Wine, on a virtual screen, in one prefix that
// the first row makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <optional>

#include "tests/support/launcher_run.h"
#include "tests/support/log_file.h"
#include "tests/support/virtual_screen.h"

namespace kaldra::testing {
namespace {

using Clock = std::chrono::system_clock;

struct WineRow {
  const char* name;
  std::map<std::string, std::string> orders;  // to the stand-in game, without KALDRA_STANDIN_
  std::string lastLogLine;
  bool dialog;  // the failure dialog was shown
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

TEST(WineGameRun, TheRealGameStartsUnderWineAndItsEndDecidesTheLauncherEnd) {
  const std::string busy =
      "game exit (Wine still busy with other processes of the prefix); launcher quits without "
      "waiting";
  const WineRow rows[] = {
      {"first start: the prefix is made, then the game runs",
       {{"SECONDS", "1"}},
       "game exit 0",
       false,
       false},
      {"a windowed game hides the status window", {{"SECONDS", "7"}}, "game exit 0", false, true},
      {"status 3", {{"EXIT", "3"}}, "game exit 3", true, false},
      {"a crash", {{"CRASH", "1"}}, "game exit 5", true, false},
      {"a helper left behind", {{"HELPER_SECONDS", "40"}}, busy, false, false},
  };
  VirtualScreen screen;
  LauncherRun run;
  run.goStraightToTheGame();
  run.env["DISPLAY"] = screen.display();
  run.env["KALDRA_TEST_ANSWERS"] = "1";  // the failure dialog: quit
  fs::path prefix = run.dataDir() / "prefix";
  fs::create_directories(prefix / "drive_c/Kaldrith");
  fs::copy_file(run.resources() / "demo-channel/kaldrith.exe",
                prefix / "drive_c/Kaldrith/kaldrith.exe");
  // Wine goes on after the launcher, as it should; the test ends it.
  struct StopWine {
    fs::path prefix;
    ~StopWine() {
      std::system(("WINEPREFIX='" + prefix.string() + "' /usr/lib/wine/wineserver -k").c_str());
    }
  } stopWine{prefix};

  for (const WineRow& row : rows) {
    SCOPED_TRACE(row.name);
    fs::remove_all(run.snapshotDir());
    fs::create_directories(run.snapshotDir());
    for (const char* order : {"SECONDS", "EXIT", "CRASH", "HELPER_SECONDS"})
      run.env.erase(std::string("KALDRA_STANDIN_") + order);
    run.env["KALDRA_STANDIN_SECONDS"] = "0";
    for (const auto& [order, value] : row.orders) run.env["KALDRA_STANDIN_" + order] = value;
    bool firstStart = !fs::exists(prefix / ".kaldra-runtime");

    auto started = Clock::now();
    RunResult result = run.start(std::chrono::seconds(90));
    auto took = Clock::now() - started;
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(), row.lastLogLine);

    std::string launchLog = run.file(run.logsDir() / "wine-launch.log");
    EXPECT_EQ(launchLog.find("setting up the Wine prefix") != std::string::npos, firstStart)
        << launchLog;
    EXPECT_EQ(run.file(run.logsDir() / "game.log")
                  .find("Kaldrith stand-in game started in C:\\Kaldrith\r\n"),
              0u);
    auto shots = run.snapshots();
    EXPECT_EQ(std::count_if(shots.begin(), shots.end(),
                            [](const auto& name) { return name.ends_with("-dialog.png"); }),
              row.dialog ? 1 : 0);
    if (row.hiding) {
      // About four seconds after the game showed its window.
      auto hidden = snapshotTime(run, "-hiding.png");
      auto shown = windowShown(run);
      ASSERT_TRUE(hidden && shown);
      EXPECT_GT(*hidden - *shown, std::chrono::seconds(2));
      EXPECT_LT(*hidden - *shown, std::chrono::seconds(8));
    }
    if (row.lastLogLine == busy) {
      // The launcher left without waiting for Wine, and left Wine running.
      EXPECT_LT(took, std::chrono::seconds(30));
      EXPECT_TRUE(helperRunning());
    }
  }
  EXPECT_TRUE(run.opened().empty());
}

}  // namespace
}  // namespace kaldra::testing
