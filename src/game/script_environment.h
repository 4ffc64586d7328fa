// The environment of the game's start script: the launcher's own, plus where the script
// finds the data folder, Wine and its resources, the pickup scan code when there is
// one, and a fixed search path.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/config.h"

namespace kaldra {

// The start script's whole environment. A pickup scan code inherited by the launcher is
// never passed on; only `pickupScanCode` sets one.
Env scriptEnvironment(const Env& launcherEnv, const fs::path& dataDir, const fs::path& res,
                      const std::optional<std::string>& pickupScanCode);

// "KEY=value" entries, as a new process takes them.
std::vector<std::string> environmentEntries(const Env& env);

}  // namespace kaldra
