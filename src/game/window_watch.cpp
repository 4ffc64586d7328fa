#include "game/window_watch.h"

#include <algorithm>

#include "proc/run_tool.h"

namespace kaldra {

namespace {

constexpr std::chrono::seconds kCycle(1);
constexpr int kMaxCycles = 600;
// Lets the game's window come up before the status window goes.
constexpr std::chrono::seconds kHideDelay(4);

bool gameShowsInProcessList() {
  auto [status, bytes] = runCapture("/bin/ps", {"axww", "-o", "args="});
  (void)status;  // a failed listing has no game in it
  return listShowsGameExecutable(bytes);
}

}  // namespace

bool prefixIsReady(const std::filesystem::path& runtimeMarker) {
  std::error_code ec;
  return std::filesystem::exists(runtimeMarker, ec);
}

bool listShowsGameExecutable(std::string_view processList) {
  // The name is ASCII, and ASCII bytes are the same characters whether or not the bytes
  // around them are valid UTF-8, so the bytes are searched as they are.
  constexpr std::string_view kName = "kaldrith.exe";
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  auto found = std::search(processList.begin(), processList.end(), kName.begin(), kName.end(),
                           [&](char a, char b) { return lower(a) == b; });
  return found != processList.end();
}

void watchGameWindow(UI& ui, ChildProcess& script, const std::filesystem::path& runtimeMarker,
                     const WatchClock& clock) {
  for (int cycle = 0; cycle < kMaxCycles; ++cycle) {
    clock.sleep(kCycle);
    if (script.exitStatus()) return;
    // The marker is a stat; the process list a run of ps, left for when it can matter.
    if (prefixIsReady(runtimeMarker) && gameShowsInProcessList()) {
      clock.sleep(kHideDelay);
      return ui.hideWhileGameRuns();
    }
  }
}

}  // namespace kaldra
