// The exit watch of a started game, on the launch sequence's thread: it finds the
// game's process among the start script's children, notices when that process has
// gone, and ends the launcher when the script ends, or when Wine stays busy long after
// the game has gone. The script, Wine and the game are never stopped.
#pragma once

#include <string_view>

#include "core/ui.h"
#include "game/child_process.h"
#include "game/watch_clock.h"

namespace kaldra {

// How the game's own process is told from the other children of the start script.
inline constexpr std::string_view kGameProcessSuffix = "/lib/wine/x86_64-unix/Kaldrith";

// The first direct child of `scriptPid` whose executable path ends with the game's
// suffix, or 0 when there is none (yet).
Pid findGameProcess(Pid scriptPid);

// Watches once a second until the launcher is to end, has `ui` quit and returns:
// - the game's process gone for more than 15 s while the script still runs: logs that
//   Wine is still busy and quits without waiting for the script;
// - the script ended with 0 or 1: logs "game exit N" and quits;
// - with any other status: logs it, brings the launcher to the front and points the
//   player to the game log, with a button that opens the logs folder.
void watchGameExit(UI& ui, ChildProcess& script, const WatchClock& clock = {});

}  // namespace kaldra
