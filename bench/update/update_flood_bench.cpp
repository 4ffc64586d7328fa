// The real launcher driving a tool that floods it with progress events: wall time,
// events per second and the launcher's peak resident memory, beside a run whose tool
// sends nothing. A second flood switches between two labels on every event, the worst
// case for the coalescing of status updates.
//
//   update_flood_bench [events] [rounds] [alternating events]   (headless; from the build
//   folder)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/spawn.h"
#include "platform/user_folders.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

struct Sample {
  double seconds = 0;
  long maxResidentKB = 0;
};

std::string readFile(const fs::path& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

Sample runLauncher(const fs::path& work, const std::string& events, const std::string& mode) {
  fs::remove_all(work / "data");
  auto variables = kaldra::platform::readEnvironment();
  for (const char* name : {"KALDRA_SNAPSHOT_DIR", "KALDRA_TEST_ANSWERS", "KALDRA_LANG"})
    variables.erase(name);
  variables["QT_QPA_PLATFORM"] = "offscreen";
  variables["KALDRA_DATA_DIR"] = (work / "data").string();
  variables["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  variables["KALDRA_TEST_INSTALL_DIR"] = work.string();
  variables["BENCH_EVENTS"] = events;
  variables["BENCH_MODE"] = mode;
  std::vector<std::string> env;
  for (const auto& [key, value] : variables) env.push_back(key + "=" + value);

  auto begin = Clock::now();
  auto child = kaldra::platform::spawnProcess(
      {.program = (work / "Kaldrith.app/Contents/MacOS/Kaldrith").string(),
       .environment = env,
       .out = kaldra::platform::Output::null(),
       .err = kaldra::platform::Output::null(),
       .nullInput = true});
  if (child.pid < 0) {
    std::fprintf(stderr, "cannot start the launcher: %s\n", child.error.c_str());
    std::exit(1);
  }
  int raw = 0;
  rusage usage{};
  while (::wait4(child.pid, &raw, 0, &usage) < 0) {
  }
  Sample sample{std::chrono::duration<double>(Clock::now() - begin).count(), usage.ru_maxrss};
  std::string log = readFile(work / "data/logs/launcher.log");
  if (log.find("updater exit 0") == std::string::npos ||
      log.find("test: stop before the game start") == std::string::npos) {
    std::fprintf(stderr, "the launcher did not get through the update:\n%s", log.c_str());
    std::exit(1);
  }
  return sample;
}

double toolAloneSeconds(const std::string& events) {
  auto begin = Clock::now();
  auto child = kaldra::platform::spawnProcess(
      {.program = PROGRESS_FLOOD_PATH, .args = {events}, .out = kaldra::platform::Output::null()});
  kaldra::platform::waitForExit(child.pid);
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

Sample median(std::vector<Sample> samples) {
  std::sort(samples.begin(), samples.end(),
            [](const Sample& a, const Sample& b) { return a.seconds < b.seconds; });
  Sample middle = samples[samples.size() / 2];
  for (const Sample& s : samples)
    middle.maxResidentKB = std::max(middle.maxResidentKB, s.maxResidentKB);
  return middle;
}

}  // namespace

int main(int argc, char** argv) {
  std::string events = argc > 1 ? argv[1] : "1000000";
  int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  std::string alternatingEvents = argc > 3 ? argv[3] : events;
  fs::path work = fs::temp_directory_path() / ("kaldra-update-bench-" + std::to_string(getpid()));
  fs::create_directories(work);
  fs::copy(KALDRA_APP_PATH, work / "Kaldrith.app",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::path tool = work / "Kaldrith.app/Contents/Resources/bin/kaldra-update";
  fs::remove(tool);
  std::ofstream(tool) << "#!/bin/sh\ncase \"$1\" in\n"
                         "texts) echo '{}' ;;\n"
                         "prepare) exec '" PROGRESS_FLOOD_PATH
                         "' \"$BENCH_EVENTS\" $BENCH_MODE ;;\n"
                         "*) exit 1 ;;\n"
                         "esac\n";
  fs::permissions(tool, fs::perms::owner_all);

  std::vector<Sample> quiet, flood, alternating;
  for (int i = 0; i < rounds; ++i) {
    quiet.push_back(runLauncher(work, "0", ""));
    flood.push_back(runLauncher(work, events, ""));
    alternating.push_back(runLauncher(work, alternatingEvents, "alternate"));
  }
  fs::remove_all(work);

  Sample q = median(quiet), f = median(flood), a = median(alternating);
  double toolSeconds = toolAloneSeconds(events);
  double n = std::stod(events);
  std::printf("tool alone, %s events to /dev/null: %.3f s\n", events.c_str(), toolSeconds);
  std::printf("launcher, no events:          median %.3f s, peak RSS %ld KB\n", q.seconds,
              q.maxResidentKB);
  std::printf("launcher, %s events:     median %.3f s, peak RSS %ld KB, %.0f events/s\n",
              events.c_str(), f.seconds, f.maxResidentKB, n / (f.seconds - q.seconds));
  std::printf("launcher, %s alternating:  median %.3f s, peak RSS %ld KB, %.0f events/s\n",
              alternatingEvents.c_str(), a.seconds, a.maxResidentKB,
              std::stod(alternatingEvents) / (a.seconds - q.seconds));
  std::printf("(%d rounds each; events/s over the time beyond the quiet run)\n", rounds);
  return 0;
}
