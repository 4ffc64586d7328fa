// Time from exec to the status window shown, beside the floor of a minimal Qt program
// that shows one empty window, measured alternately in the same run.
//
//   startup_bench [rounds]     (run from the build folder; headless)
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/spawn.h"
#include "platform/user_folders.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// Starts `program` and returns the milliseconds until `marker` holds a line.
double timeToMarker(const std::string& program, const std::vector<std::string>& args,
                    const std::vector<std::string>& env, const fs::path& marker) {
  fs::remove(marker);
  auto begin = Clock::now();
  auto child = kaldra::platform::spawnProcess({.program = program,
                                               .args = args,
                                               .environment = env,
                                               .out = kaldra::platform::Output::null(),
                                               .err = kaldra::platform::Output::null(),
                                               .nullInput = true});
  if (child.pid < 0) {
    std::fprintf(stderr, "cannot start %s: %s\n", program.c_str(), child.error.c_str());
    std::exit(1);
  }
  struct stat info {};
  while (::stat(marker.c_str(), &info) != 0 || info.st_size == 0) {
    if (Clock::now() - begin > std::chrono::seconds(20)) {
      std::fprintf(stderr, "%s never showed its window\n", program.c_str());
      std::exit(1);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  ::kill(child.pid, SIGKILL);
  kaldra::platform::waitForExit(child.pid);
  return ms;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
  fs::path work = fs::temp_directory_path() / ("kaldra-startup-bench-" + std::to_string(getpid()));
  fs::create_directories(work);

  auto base = kaldra::platform::readEnvironment();
  base["QT_QPA_PLATFORM"] = "offscreen";
  base["KALDRA_DATA_DIR"] = (work / "data").string();
  base["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";  // a killed launcher must leave no game behind
  base.erase("KALDRA_SNAPSHOT_DIR");
  base.erase("KALDRA_TEST_ANSWERS");
  std::vector<std::string> env;
  for (const auto& [key, value] : base) env.push_back(key + "=" + value);

  std::vector<double> floor, launcher;
  for (int i = 0; i < rounds; ++i) {
    floor.push_back(timeToMarker(MINIMAL_WINDOW_PATH, {(work / "minimal.txt").string()}, env,
                                 work / "minimal.txt"));
    fs::remove_all(work / "data");
    launcher.push_back(timeToMarker(KALDRA_APP_PATH "/Contents/MacOS/Kaldrith", {}, env,
                                    work / "data/logs/launcher.log"));
  }
  fs::remove_all(work);
  double f = median(floor), l = median(launcher);
  std::printf("minimal Qt window: median %.1f ms over %d starts\n", f, rounds);
  std::printf(
      "launcher window:   median %.1f ms over %d starts (text table from the updater tool)\n", l,
      rounds);
  std::printf("ratio: %.2fx of the floor (target: at most 1.30x)\n", l / f);
  return 0;
}
