// The game's start under the system's Wine, on a virtual screen: from the launcher's start
// to the game's window shown, alternated with `wine kaldrith.exe` started by hand in the
// game folder to the same window, with Wine ended before every start (a warm prefix, no
// Wine server running). Also the first start, which makes the prefix.
//
//   wine_start_bench [starts]     (default 7 of each; run by hand, on an idle machine)
#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "bench/game/launcher_copy.h"
#include "tests/support/virtual_screen.h"

using bench::fail;
namespace fs = std::filesystem;
using Clock = std::chrono::system_clock;

namespace {

constexpr const char* kName = "wine_start_bench";

// The game's own line: "Kaldrith window shown at <ms since 1970>".
std::optional<Clock::time_point> windowShown(const fs::path& gameLog) {
  std::string log = bench::readFile(gameLog);
  auto at = log.find("window shown at ");
  if (at == std::string::npos) return std::nullopt;
  return Clock::time_point(std::chrono::milliseconds(std::stoll(log.substr(at + 16))));
}

double secondsToWindow(int pid, Clock::time_point started, const fs::path& gameLog) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  std::optional<Clock::time_point> shown;
  while (!(shown = windowShown(gameLog))) {
    if (std::chrono::steady_clock::now() > deadline) fail(kName, "the game's window never showed");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kaldra::platform::waitForExit(pid);
  return std::chrono::duration<double>(*shown - started).count();
}

void waitForWineToEnd(const bench::LauncherCopy& copy) {
  std::system(
      ("WINEPREFIX='" + (copy.dataDir() / "prefix").string() + "' /usr/lib/wine/wineserver -w")
          .c_str());
}

double launcherStart(const bench::LauncherCopy& copy) {
  fs::path gameLog = copy.dataDir() / "logs/game.log";
  fs::remove(gameLog);
  auto started = Clock::now();
  int pid = copy.start();
  if (pid < 0) fail(kName, "cannot start the launcher");
  double seconds = secondsToWindow(pid, started, gameLog);
  waitForWineToEnd(copy);
  return seconds;
}

// What a person types in the game folder, in the same prefix and with the same settings
// as the start script.
double startByHand(const bench::LauncherCopy& copy) {
  fs::path gameLog = copy.dataDir() / "logs/by-hand.log";
  auto env = copy.env;
  env["WINEPREFIX"] = (copy.dataDir() / "prefix").string();
  env["WINEDLLOVERRIDES"] = "winedbg.exe=d;winemenubuilder.exe=d;mscoree,mshtml=";
  env["WINEDEBUG"] = "fixme-all";
  std::vector<std::string> entries;
  for (const auto& [key, value] : env) entries.push_back(key + "=" + value);
  auto log = kaldra::platform::createTruncated(gameLog);
  auto started = Clock::now();
  auto wine = kaldra::platform::spawnProcess(
      {.program = "/bin/sh",
       .args = {"-c", "cd \"$0\" && exec wine kaldrith.exe", copy.gameDir().string()},
       .environment = entries,
       .out = kaldra::platform::Output::to(log.get()),
       .err = kaldra::platform::Output::null(),
       .nullInput = true});
  if (wine.pid < 0) fail(kName, "cannot start wine: " + wine.error);
  double seconds = secondsToWindow(wine.pid, started, gameLog);
  waitForWineToEnd(copy);
  return seconds;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int starts = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  kaldra::testing::VirtualScreen screen;
  bench::LauncherCopy copy("wine-start");
  copy.installWindowsGame();
  copy.env["DISPLAY"] = screen.display();
  copy.env["KALDRA_STANDIN_SECONDS"] = "0.5";

  std::printf("first start, the prefix made: %.2f s to the game's window\n", launcherStart(copy));
  std::vector<double> launcher, byHand;
  for (int i = 0; i < starts; ++i) {
    launcher.push_back(launcherStart(copy));
    byHand.push_back(startByHand(copy));
  }
  double ratio = median(launcher) / median(byHand);
  std::printf(
      "warm start to the game's window, median of %d: launcher %.3f s, wine by hand %.3f s: "
      "%.2fx\n",
      starts, median(launcher), median(byHand), ratio);
  return 0;
}
