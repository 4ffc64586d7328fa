// The launch sequence's steps as the product runs them.
#pragma once

#include "core/launch_sequence.h"

namespace kaldra {

LaunchSteps productSteps(UI& ui);

}  // namespace kaldra
