// Where a new bundle waits for its exchange: a staging folder on the target's volume,
// so the exchange is one rename. After the exchange the same folder holds the previous
// bundle until the swap is settled.
#pragma once

#include <filesystem>

#include "swap/swap_plan.h"

namespace kaldra {

namespace fs = std::filesystem;

// xplatDir/mac-swap when xplatDir lies on the volume of `target`'s folder, otherwise
// ".Kaldrith-swap" beside `target`. Creates xplatDir (0700) when it is missing.
fs::path stagingDir(const fs::path& target);

// The staged copy inside a staging folder.
fs::path stagedBundle(const fs::path& stageDir);

// Deletes the plan's staging folder with everything in it, but only when it is the one
// stagingDir gives for the plan's target: a plan never makes this delete another
// folder. Errors are ignored.
void removeStage(const SwapPlan& plan);

}  // namespace kaldra
