// The launcher's own processor time while it supervises a running game, as a share of
// one core, in three cases: the Windows stand-in game under the system's Wine on a
// virtual screen, the native stand-in with Wine hidden from the script (in both the window
// watch ends once it has hidden the window), and a game that never shows as ready (both
// watches poll for the whole time).
//
//   supervision_cpu_bench [seconds]     (default 60; run by hand, headless)
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "bench/game/launcher_copy.h"
#include "tests/support/virtual_screen.h"

using bench::fail;
using bench::readFile;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Case {
  const char* name;
  bool wine;                // the Windows game, with Wine found
  std::string startScript;  // empty: the bundle's own
};

// User plus system time so far, in clock ticks, of a process or one of its threads
// (`statFile` is /proc/<pid>/stat or /proc/<pid>/task/<tid>/stat).
long cpuTicks(const fs::path& statFile) {
  std::string stat = readFile(statFile);
  if (stat.empty()) return 0;
  std::istringstream fields(stat.substr(stat.rfind(')') + 2));
  std::string field;
  long ticks = 0;
  for (int number = 3; number <= 15 && fields >> field; ++number)
    if (number >= 14) ticks += std::stol(field);  // utime, stime
  return ticks;
}

// The launcher's time: the whole process, and the part of the toolkit's threads (the
// main thread and its pooled painting threads); the rest are the watches.
struct Ticks {
  long all = 0, toolkit = 0;
};

Ticks launcherTicks(int pid) {
  fs::path proc = "/proc/" + std::to_string(pid);
  Ticks ticks{.all = cpuTicks(proc / "stat")};
  for (const auto& task : fs::directory_iterator(proc / "task")) {
    bool toolkit = task.path().filename() == std::to_string(pid) ||
                   readFile(task.path() / "comm").starts_with("Thread (pooled)");
    if (toolkit) ticks.toolkit += cpuTicks(task.path() / "stat");
  }
  return ticks;
}

struct Share {
  double all = 0, toolkit = 0;  // of one core
};

Share launcherShareOfOneCore(const Case& run, int seconds, const std::string& display) {
  bench::LauncherCopy copy("supervision");
  if (!run.startScript.empty())
    bench::writeScript(copy.app() / "Contents/Resources/share/kaldra-wine.sh", run.startScript);
  if (run.wine) {
    copy.installWindowsGame();
    copy.env["DISPLAY"] = display;
  } else {
    copy.env["KALDRA_WINE_SEARCH"] = "";
  }
  copy.env["KALDRA_STANDIN_SECONDS"] = std::to_string(seconds + 60);
  int launcher = copy.start();
  if (launcher < 0) fail("supervision_cpu_bench", "cannot start the launcher");
  fs::path gameLog = copy.dataDir() / "logs/game.log";
  auto begin = Clock::now();
  // A first start under Wine makes the prefix first.
  while (readFile(gameLog).find("stand-in game started") == std::string::npos) {
    if (Clock::now() - begin > std::chrono::seconds(120))
      fail("supervision_cpu_bench", "the game never started");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  Ticks before = launcherTicks(launcher);
  auto from = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  Ticks after = launcherTicks(launcher);
  double wall = std::chrono::duration<double>(Clock::now() - from).count();
  // The launcher, the script and the game share the launcher's session.
  ::kill(-launcher, SIGKILL);
  kaldra::platform::waitForExit(launcher);
  double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  return {(after.all - before.all) * tick / wall, (after.toolkit - before.toolkit) * tick / wall};
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const Case cases[] = {
      {"Windows game under Wine, window hidden", true, ""},
      {"native stand-in, window hidden", false, ""},
      {"game never shows as ready, both watches poll", false,
       "cd \"$KALDRA_WINE_DIR/lib/wine/x86_64-unix\" && ./Kaldrith ./KaldrithStandIn "
       "'C:\\Kaldrith\\game.bin' > \"$KALDRA_DATA_DIR/logs/game.log\"\nexit 0\n"},
  };
  kaldra::testing::VirtualScreen screen;
  std::printf("launcher CPU over %d s, in %% of one core: all (toolkit threads; watches)\n",
              seconds);
  for (const Case& run : cases) {
    Share share = launcherShareOfOneCore(run, seconds, screen.display());
    std::printf("  %-46s %6.3f %%  (%.3f %%; %.3f %%)\n", run.name, share.all * 100,
                share.toolkit * 100, (share.all - share.toolkit) * 100);
  }
  return 0;
}
