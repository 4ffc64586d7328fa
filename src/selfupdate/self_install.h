// The offer, once per copy and version, to install the running launcher into the
// install folder; the installation itself is a bundle exchange that the swap helper
// carries out after the launcher has quit.
#pragma once

#include "core/ui.h"

namespace kaldra {

// The first step of the launch: true lets the launch go on from where this copy runs;
// false when the installation has been prepared and the launcher is to quit.
bool selfInstallCheck(UI& ui);

}  // namespace kaldra
