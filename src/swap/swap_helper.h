// The swap helper: the launcher's own executable started again, detached, with
// "--kaldra-swap" and the path of a swap plan. It waits for the launcher to quit,
// exchanges the staged bundle with the installed one in one rename, starts the new one
// and swaps the previous one back when the new one does not confirm its start. It runs
// without any user interface; it reports through its exit status, the plan, the
// launcher log and "swap-helper.log".
#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <string>

#include "game/watch_clock.h"

namespace kaldra {

// Exit statuses of the helper.
inline constexpr int kHelperDone = 0;              // answered, settled, or still running
inline constexpr int kHelperNoPlan = 2;            // no "staged" plan at the path
inline constexpr int kHelperUnchanged = 3;         // failed before the exchange
inline constexpr int kHelperRestored = 4;          // new bundle failed; previous restored
inline constexpr int kHelperNothingToRestore = 5;  // new bundle failed; there was none
inline constexpr int kHelperSwapBackFailed = 6;    // new bundle failed; swap back failed

using namespace std::chrono_literals;
inline constexpr WatchClock::Duration kLauncherQuitStep = 200ms;
inline constexpr WatchClock::Duration kLauncherQuitLimit = 60s;
inline constexpr WatchClock::Duration kBusyStep = 500ms;
inline constexpr WatchClock::Duration kBusyLimit = 20s;
inline constexpr WatchClock::Duration kAnswerStep = 500ms;
inline constexpr WatchClock::Duration kAnswerLimit = 180s;
inline constexpr WatchClock::Duration kGiveUpAfter = 8s;

// Starts the helper for the plan file, detached in a session of its own, its input
// /dev/null and its output appended to swap-helper.log. True when it was started.
bool spawnSwapHelper(const std::filesystem::path& planFile);

// The helper's whole work for the plan at `planPath`; the result is the process's exit
// status.
int runSwapHelper(const std::string& planPath, const WatchClock& clock = {});

// Starts the bundle at `app` as a new instance with `env` added, through the open
// stand-in. False, and a log line, when it could not.
bool openApp(const std::filesystem::path& app, const std::map<std::string, std::string>& env);

}  // namespace kaldra
