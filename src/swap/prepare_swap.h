// Preparing a bundle exchange in the running launcher: the new bundle is copied next to
// the one it replaces, verified, recorded in the swap plan as "staged", and the swap
// helper is started. The caller then lets the launcher quit; the helper does the rest.
//
//   prepareSwap("update", mounted / "Kaldrith.app", cfg.appBundle, cfg.appVersion, "2.0");
//   return false;  // ends the launch sequence
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "core/config.h"
#include "swap/staging.h"

namespace kaldra {

// The environment entries the new launcher is started with: every KALDRA_ entry of
// `env`, except that KALDRA_TEST_ANSWERS_AFTER_SWAP becomes KALDRA_TEST_ANSWERS and the
// current launcher's own scripted answers stay behind.
std::map<std::string, std::string> handedOnEnv(const Env& env);

// Stages `source` (version `to`) to replace `target` (version `from`, empty when there
// is none) and starts the swap helper. Blocks while other copies close and the copy
// runs. Throws SwapError with the user-facing reason; the installed bundle and an
// existing plan stay as they were on every failure.
void prepareSwap(const std::string& op, const fs::path& source, const fs::path& target,
                 const std::string& from, const std::string& to);

}  // namespace kaldra
