// The launcher's own processor time while it supervises a running game, as a share of
// one core, in two cases: the bundle's start script with the stand-in game (the window
// watch ends once it has hidden the window), and a game that never shows as ready (both
// watches poll for the whole time).
//
//   supervision_cpu_bench [seconds]     (default 60; run by hand, headless)
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"
#include "platform/user_folders.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Case {
  const char* name;
  std::string startScript;  // empty: the bundle's own
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeScript(const fs::path& path, const std::string& body) {
  fs::remove(path);
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

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

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "supervision_cpu_bench: %s\n", why.c_str());
  std::exit(1);
}

struct Share {
  double all = 0, toolkit = 0;  // of one core
};

Share launcherShareOfOneCore(const Case& run, int seconds) {
  fs::path root = fs::temp_directory_path() / ("kaldra-supervision-" + std::to_string(getpid()));
  fs::remove_all(root);
  fs::create_directories(root);
  fs::path app = root / "Kaldrith.app";
  fs::copy(KALDRA_APP_PATH, app, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  writeScript(app / "Contents/Resources/bin/kaldra-update",
              "[ \"$1\" = texts ] && echo '{}'\nexit 0\n");
  if (!run.startScript.empty())
    writeScript(app / "Contents/Resources/share/kaldra-wine.sh", run.startScript);

  auto env = kaldra::platform::readEnvironment();
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "KALDRA_SNAPSHOT_DIR",
                           "KALDRA_TEST_ANSWERS", "KALDRA_TEST_STOP_BEFORE_GAME"})
    env.erase(name);
  env["QT_QPA_PLATFORM"] = "offscreen";
  env["KALDRA_DATA_DIR"] = (root / "data").string();
  env["KALDRA_TEST_INSTALL_DIR"] = root.string();
  env["KALDRA_NO_SELF_UPDATE"] = "1";
  env["KALDRA_STANDIN_SECONDS"] = std::to_string(seconds + 60);
  std::vector<std::string> entries;
  for (const auto& [key, value] : env) entries.push_back(key + "=" + value);

  auto launcher = kaldra::platform::spawnProcess({.program = app / "Contents/MacOS/Kaldrith",
                                                  .environment = entries,
                                                  .out = kaldra::platform::Output::null(),
                                                  .err = kaldra::platform::Output::null(),
                                                  .nullInput = true,
                                                  .newSession = true});
  if (launcher.pid < 0) fail("cannot start the launcher: " + launcher.error);
  fs::path launchLog = root / "data/logs/wine-launch.log";
  auto begin = Clock::now();
  while (readFile(launchLog).find("stand-in game: running") == std::string::npos) {
    if (Clock::now() - begin > std::chrono::seconds(60)) fail("the game never started");
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }

  Ticks before = launcherTicks(launcher.pid);
  auto from = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  Ticks after = launcherTicks(launcher.pid);
  double wall = std::chrono::duration<double>(Clock::now() - from).count();
  // The launcher, the script and the game share the launcher's session.
  ::kill(-launcher.pid, SIGKILL);
  kaldra::platform::waitForExit(launcher.pid);
  fs::remove_all(root);
  double tick = 1.0 / static_cast<double>(sysconf(_SC_CLK_TCK));
  return {(after.all - before.all) * tick / wall, (after.toolkit - before.toolkit) * tick / wall};
}

}  // namespace

int main(int argc, char** argv) {
  int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
  const Case cases[] = {
      {"stand-in game, window hidden after detection", ""},
      {"game never shows as ready, both watches poll",
       "\"$KALDRA_WINE_DIR/lib/wine/x86_64-unix/Kaldrith\" 'C:\\Kaldrith\\game.bin'\n"},
  };
  std::printf("launcher CPU over %d s, in %% of one core: all (toolkit threads; watches)\n",
              seconds);
  for (const Case& run : cases) {
    Share share = launcherShareOfOneCore(run, seconds);
    std::printf("  %-46s %6.3f %%  (%.3f %%; %.3f %%)\n", run.name, share.all * 100,
                share.toolkit * 100, (share.all - share.toolkit) * 100);
  }
  return 0;
}
