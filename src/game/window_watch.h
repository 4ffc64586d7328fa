// The window watch of a started game, on a thread of its own: once the game's Windows
// executable shows in the process list and the Wine prefix is ready, the status window
// gives way to the game. It never logs and never ends the launcher.
#pragma once

#include <filesystem>
#include <string_view>

#include "core/ui.h"
#include "game/child_process.h"
#include "game/watch_clock.h"

namespace kaldra {

// Looks once a second, for at most 600 cycles and only while the script runs; 4 s after
// it sees both the executable and `runtimeMarker`, hides the window and returns.
void watchGameWindow(UI& ui, ChildProcess& script, const std::filesystem::path& runtimeMarker,
                     const WatchClock& clock = {});

// Whether anything exists at `runtimeMarker`, which the start script creates once the
// Wine prefix is set up.
bool prefixIsReady(const std::filesystem::path& runtimeMarker);

// Whether a process list (command lines, one a line) names the game's executable, in
// any letter case.
bool listShowsGameExecutable(std::string_view processList);

}  // namespace kaldra
