#include "selfupdate/step_failure.h"

#include "swap/swap_error.h"

namespace kaldra {

std::optional<std::string> failureOf(const std::function<void()>& step) {
  try {
    step();
    return std::nullopt;
  } catch (const SwapError& error) {
    return error.text;
  } catch (const std::exception& error) {
    // A folder that cannot be made, for one: reported like every other failure.
    return std::string(error.what());
  }
}

}  // namespace kaldra
