// Making a bundle free before it is replaced: other running copies of the launcher
// from that very bundle are asked to quit, forced when they do not (unless they run
// the game), and nothing else may run from inside it. Blocks up to about 11 s; call it
// from a background thread.
//
//   if (auto message = closeOtherInstances(target)) throw SwapError(*message);
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "game/watch_clock.h"

namespace kaldra {

inline constexpr WatchClock::Duration kCloseStep{250};
inline constexpr WatchClock::Duration kPoliteWait{6000};
inline constexpr WatchClock::Duration kForcedWait{5000};

// No value when the bundle at `target` is free; otherwise the user-facing text of
// `err_game_running` or `mac_other_running`. Logs each copy it asks or forces.
std::optional<std::string> closeOtherInstances(const std::filesystem::path& target,
                                               const WatchClock& clock = {});

}  // namespace kaldra
