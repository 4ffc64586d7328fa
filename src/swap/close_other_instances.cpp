#include "swap/close_other_instances.h"

#include <algorithm>
#include <vector>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"
#include "platform/running_applications.h"
#include "proc/process_queries.h"

namespace kaldra {

namespace {

bool anyAlive(const std::vector<Pid>& copies) {
  return std::any_of(copies.begin(), copies.end(), isAlive);
}

// Polls until no copy is alive or `limit` has been slept away.
void waitForExit(const std::vector<Pid>& copies, WatchClock::Duration limit,
                 const WatchClock& clock) {
  for (WatchClock::Duration slept{0}; anyAlive(copies) && slept < limit; slept += kCloseStep)
    clock.sleep(kCloseStep);
}

}  // namespace

std::optional<std::string> closeOtherInstances(const fs::path& target, const WatchClock& clock) {
  const Pid own = ownPid();
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(target, ec);
  if (ec) resolved = target.lexically_normal();

  std::vector<Pid> copies;
  for (const auto& app : platform::runningApplications(cfg.bundleID))
    if (app.pid != own && app.bundle == resolved) copies.push_back(app.pid);

  if (!copies.empty()) {
    for (Pid pid : copies) {
      log("closing running copy pid " + std::to_string(pid) + " of " + resolved.string());
      platform::terminateApplication(pid);
    }
    waitForExit(copies, kPoliteWait, clock);
    for (Pid pid : copies) {
      if (!isAlive(pid)) continue;
      // A copy with a child runs the game: never force it.
      if (!childPids(pid).empty()) return T("err_game_running");
      log("forcing running copy pid " + std::to_string(pid) + " (no child process)");
      platform::forceTerminateApplication(pid);
    }
    waitForExit(copies, kForcedWait, clock);
    if (anyAlive(copies)) return T("mac_other_running");
  }
  if (!processesInside(target, {own}).empty()) return T("err_game_running");
  return std::nullopt;
}

}  // namespace kaldra
