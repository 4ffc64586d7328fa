#include "core/launch_sequence.h"

#include "core/config.h"
#include "core/launcher_log.h"
#include "core/texts.h"

namespace kaldra {

static bool passes(const std::function<bool()>& check) {
  return !check || check();
}

void flow(UI& ui, std::optional<std::string>& notice, const LaunchSteps& steps) {
  if (notice) {
    ui.ask(*notice, {T("btn_continue")}, AlertStyle::informational);
    notice.reset();
  }
  if (!passes(steps.selfInstallCheck) || !passes(steps.xplatCheck)) return ui.quit();
  if (steps.update) {
    int result;
    do {
      result = steps.update();
    } while (result == 1);
    if (result == 2) return ui.quit();
  }
  if (!passes(steps.ensureRosetta)) return ui.quit();
  if (cfg.getenv("KALDRA_TEST_STOP_BEFORE_GAME") == "1") {
    log("test: stop before the game start");
    return ui.quit();
  }
  if (steps.startGame) steps.startGame();
}

}  // namespace kaldra
