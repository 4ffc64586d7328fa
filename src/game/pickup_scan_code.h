// The pickup scan code the game needs on one keyboard: an ANSI keyboard with the
// Austrian layout, whose section key then shows "^". Every other keyboard gets none.
#pragma once

#include <optional>
#include <string>

#include "platform/keyboard.h"

namespace kaldra {

// "86" for the one combination, otherwise no value; never an empty text. Main thread
// only, as the keyboard is asked there.
std::optional<std::string> macPickupScanCode();

// The same decision over given facts.
std::optional<std::string> pickupScanCodeFor(const platform::KeyboardFacts& facts);

}  // namespace kaldra
