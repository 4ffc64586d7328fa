#include "swap/swap_error.h"

#include <utility>

namespace kaldra {

SwapError::SwapError(std::string message) : text(std::move(message)) {}

const char* SwapError::what() const noexcept {
  return text.c_str();
}

}  // namespace kaldra
