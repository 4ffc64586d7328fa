// Bundles for exchange tests: a copy of the real bundle with the exchange driver inside,
// further versions of it sealed with the real codesign stand-in, and a wait for the
// detached swap helper and whatever it started.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {

// Puts the exchange driver into `run`'s bundle as Contents/MacOS/swap-driver and seals
// the bundle again.
void addSwapDriver(const LauncherRun& run);

// Copies `from` to `to` (a bundle path), sets its CFBundleShortVersionString to
// `version` and seals it.
void copyAsVersion(const fs::path& from, const fs::path& to, const std::string& version);

// Whether the codesign stand-in accepts `bundle`; `why` gets its output.
bool sealHolds(const fs::path& bundle, std::string* why = nullptr);

// Runs the driver's preparation in `run`'s environment.
RunResult prepareExchange(LauncherRun& run, const std::string& op, const fs::path& source,
                          const fs::path& target, const std::string& from, const std::string& to);

// Waits until the helper named in the log has ended and nothing runs from `bundle`;
// false when that takes longer than `limit`.
bool waitForHelper(const LauncherRun& run, const fs::path& bundle,
                   std::chrono::seconds limit = std::chrono::seconds(90));

}  // namespace kaldra::testing
