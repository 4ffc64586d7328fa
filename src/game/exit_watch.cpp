#include "game/exit_watch.h"

#include <string>

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"

namespace kaldra {

namespace {

constexpr std::chrono::seconds kCycle(1);
// Wine may keep the prefix busy for a while after the game's process has gone; the
// launcher stops waiting for the script after this.
constexpr std::chrono::seconds kGrace(15);

void reportScriptEnd(UI& ui, int status) {
  log("game exit " + std::to_string(status));
  if (status == 0 || status == 1) return ui.quit();
  ui.bringToFront();
  auto answer = ui.ask(T("err_game_exit") + "\n" + (cfg.logsDir / "game.log").string(),
                       {T("btn_logs"), T("btn_quit")}, AlertStyle::warning);
  if (answer == 0) ui.openLogs();
  ui.quit();
}

}  // namespace

Pid findGameProcess(Pid scriptPid) {
  for (Pid child : childPids(scriptPid)) {
    if (pidPath(child).value_or("").ends_with(kGameProcessSuffix)) return child;
  }
  return 0;
}

void watchGameExit(UI& ui, ChildProcess& script, const WatchClock& clock) {
  Pid game = 0;  // once found, never another
  std::optional<WatchClock::TimePoint> goneSince;
  std::optional<int> status;
  while (!(status = script.exitStatus())) {
    clock.sleep(kCycle);
    if (game == 0) game = findGameProcess(script.pid());
    if (game == 0 || isAlive(game)) continue;
    if (!goneSince) goneSince = clock.now();
    if (clock.now() - *goneSince > kGrace && !script.exitStatus()) {
      log("game exit (Wine still busy with other processes of the prefix); launcher quits "
          "without waiting");
      return ui.quit();
    }
  }
  reportScriptEnd(ui, *status);
}

}  // namespace kaldra
