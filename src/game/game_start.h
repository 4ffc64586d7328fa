// The last step of the launch: start the game through the Wine start script inside the
// bundle and supervise it until the launcher is to end.
//
//   steps.startGame = [&ui] { startGame(ui); };
#pragma once

#include <functional>
#include <string>
#include <thread>

#include "core/ui.h"
#include "game/watch_clock.h"

namespace kaldra {

struct GameStartOptions {
  WatchClock clock;
  // Runs the window watch beside the exit watch. By default on a detached thread: it
  // ends with the script or its cycle limit, and the launcher never waits for it.
  std::function<void(std::function<void()>)> runBeside = [](std::function<void()> watch) {
    std::thread(std::move(watch)).detach();
  };
};

// Shows the start status, runs `res`/share/kaldra-wine.sh "run" under the shell with the
// game's environment (standard error into logs/wine-launch.log, emptied first), marks
// the game as started and watches it (exit_watch.h, window_watch.h). Returns only after
// it has had `ui` quit. When the shell cannot be started, or the start script is no
// file it can read, tells the player and quits.
// Runs on the launch sequence's thread; `ui` must outlive the window watch.
void startGame(UI& ui, const GameStartOptions& options = {});

}  // namespace kaldra
