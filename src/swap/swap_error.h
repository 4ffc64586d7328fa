// The one error of the bundle swap: verification, preparation and installation throw
// it, and its text is what the log and the user are shown.
//
//   try { verifyBundle(staged, "2.0"); } catch (const SwapError& e) { log(e.text); }
#pragma once

#include <exception>
#include <string>

namespace kaldra {

struct SwapError : std::exception {
  std::string text;
  explicit SwapError(std::string text);
  const char* what() const noexcept override;
};

}  // namespace kaldra
