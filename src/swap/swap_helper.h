// The swap helper: the launcher's own executable started again, detached, with
// "--kaldra-swap" and the path of a swap plan. It runs without any user interface.
#pragma once

#include <string>

namespace kaldra {

// The helper's whole work for the plan at `planPath`; the result is the process's
// exit status.
int runSwapHelper(const std::string& planPath);

}  // namespace kaldra
