// The launcher's own update: asks the updater tool whether a newer launcher is offered
// ("xplat-check"), offers it, downloads it ("xplat-fetch") with progress, and installs
// it in place (a bundle exchange) or hands the image to the system for the player.
#pragma once

#include "core/ui.h"

namespace kaldra {

// The second step of the launch. True lets the launch go on with this launcher; false
// when it is to quit: the player chose to, this version may no longer run, the image
// waits for a manual installation, or the swap helper is about to replace this bundle.
bool xplatCheck(UI& ui);

}  // namespace kaldra
