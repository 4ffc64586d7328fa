// What a step that prepares a bundle exchange threw, as the text the log and the player
// are shown.
#pragma once

#include <functional>
#include <optional>
#include <string>

namespace kaldra {

// Runs `step`: no value when it returns; otherwise a SwapError's text, or any other
// error's description.
std::optional<std::string> failureOf(const std::function<void()>& step);

}  // namespace kaldra
