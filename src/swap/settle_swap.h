// Settling a swap at the start of every launcher run: the new bundle confirms its own
// exchange, a restored or failed one cleans up and leaves a notice, an interrupted
// preparation is removed, and without a plan left-over staging folders go. Never
// waits, never asks, never throws.
#pragma once

#include <optional>
#include <string>

namespace kaldra {

// Exit status of a start that KALDRA_TEST_FAIL_START makes fail before confirming.
inline constexpr int kTestFailStartStatus = 70;

// Settles the plan at cfg.swapPlanURL for this bundle (cfg.appBundle, cfg.appVersion).
// The result is the notice to show the player first, if any.
std::optional<std::string> settleSwap();

}  // namespace kaldra
