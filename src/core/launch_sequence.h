// The order of the launch: pending notice, self-install offer, launcher update, game
// file update (again while it asks), Rosetta, game start. Runs on its own thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "core/ui.h"

namespace kaldra {

// The steps, each a call into its own subsystem. A check answers whether the sequence
// goes on; the game file update answers 0 (go on), 1 (run again) or 2 (quit).
struct LaunchSteps {
  std::function<bool()> selfInstallCheck;
  std::function<bool()> xplatCheck;
  std::function<int()> update;
  std::function<bool()> ensureRosetta;
  std::function<void()> startGame;
};

// Runs the sequence to the game start or to the first step that stops it. `notice` is
// shown first, once, and cleared. A step left empty is passed over.
void flow(UI& ui, std::optional<std::string>& notice, const LaunchSteps& steps);

}  // namespace kaldra
