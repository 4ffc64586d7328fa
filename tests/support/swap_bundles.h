// Bundles for exchange tests: the real bundle with the exchange driver inside, further
// versions sealed with the real codesign stand-in, and the wait for the detached helper.
#pragma once

#include <chrono>
#include <string>

#include "proc/process_queries.h"
#include "tests/support/launcher_run.h"

namespace kaldra::testing {

// Puts the exchange driver into the bundle and gives a sealed copy of it as 2.0.0.
fs::path addSwapDriver(const LauncherRun& run);
// A sealed copy of `from` at `to` that says it is `version`.
void copyAsVersion(const fs::path& from, const fs::path& to, const std::string& version);
// The latest helper the log says was spawned, or 0.
Pid spawnedHelper(const std::vector<std::string>& log);
// False when the helper or anything running from `bundle` outlives `limit`.
bool waitForHelper(const LauncherRun& run, const fs::path& bundle,
                   std::chrono::seconds limit = std::chrono::seconds(90));
// The version a bundle's Info.plist states, or "".
std::string bundleVersion(const LauncherRun& run, const fs::path& bundle);
// Expects one sealed bundle at `bundle` and nothing left to settle; gives its version.
std::string expectSettled(const LauncherRun& run, const fs::path& bundle);

}  // namespace kaldra::testing
