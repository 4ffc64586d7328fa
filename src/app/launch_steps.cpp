#include "app/launch_steps.h"

#include "game/game_start.h"
#include "rosetta/rosetta_check.h"
#include "selfupdate/self_install.h"
#include "selfupdate/xplat_check.h"
#include "update/game_update.h"

namespace kaldra {

LaunchSteps productSteps(UI& ui) {
  return LaunchSteps{
      .selfInstallCheck = [&ui] { return selfInstallCheck(ui); },
      .xplatCheck = [&ui] { return xplatCheck(ui); },
      .update = [&ui] { return update(ui); },
      .ensureRosetta = [&ui] { return ensureRosetta(ui); },
      .startGame = [&ui] { startGame(ui); },
  };
}

}  // namespace kaldra
