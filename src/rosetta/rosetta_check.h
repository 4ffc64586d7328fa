// Making sure x86_64 code runs before the game starts: on an ARM64 machine the
// translation layer may be missing, and the system installs it when asked to open an
// x86_64-only application.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

#include "core/ui.h"
#include "platform/machine.h"

namespace kaldra {

// True on Apple silicon; false on an Intel machine and when the machine cannot be asked.
bool isAppleSilicon();

// Runs the updater tool's "version" through the architecture switch as x86_64 code;
// true when it exits 0. Blocks until the tool ends.
bool rosettaProbe();

// True on an Intel machine without any test; on Apple silicon, the probe's answer.
bool rosettaWorks();

// What ensureRosetta asks of the machine; tests hand it fakes so that the wait of up
// to 20 minutes passes in milliseconds.
struct RosettaSystem {
  std::function<bool()> appleSilicon = isAppleSilicon;
  std::function<bool()> probe = rosettaProbe;
  std::function<bool()> installable = platform::canInstallX86Translation;
  std::function<void(std::chrono::milliseconds)> sleep = [](std::chrono::milliseconds pause) {
    std::this_thread::sleep_for(pause);
  };
};

// True when the game may start. When x86_64 code does not run, asks the player to
// install the translation layer, opens "RosettaCheck.app" to make the system offer it,
// and waits (600 cycles of 2 s) for the probe to succeed; false when the player
// declines or the wait runs out. Where the system cannot install it, says so at once
// and gives false. Blocks the calling (background) thread meanwhile.
bool ensureRosetta(UI& ui, const RosettaSystem& system = {});

}  // namespace kaldra
