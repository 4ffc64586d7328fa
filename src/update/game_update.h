// The launch step that brings the game files up to date: runs the updater tool's
// "prepare", shows its progress, and turns its outcome into the sequence's next move.
#pragma once

#include "core/ui.h"

namespace kaldra {

// What the launch sequence does after `update`.
enum UpdateResult : int { kUpdateDone = 0, kUpdateAgain = 1, kUpdateQuit = 2 };

// Runs "prepare" on the game folder, with its standard error in "updater.log" (emptied
// first), and answers kUpdateDone when the files are ready. When the game already runs,
// an offline "verify" decides instead. A failure shows the retry / open log / quit
// dialog and answers kUpdateAgain or kUpdateQuit. Blocks the calling (background)
// thread while the tool runs and while the dialog is open.
int update(UI& ui);

}  // namespace kaldra
