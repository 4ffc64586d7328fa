#include "platform/keyboard.h"

namespace kaldra::platform {

// Keyboard layouts here are the window system's, with no layout types or key layout
// data to ask.
std::optional<KeyboardFacts> keyboardFacts() {
  return std::nullopt;
}

}  // namespace kaldra::platform
