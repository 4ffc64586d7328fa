// The tool's own entries inside the game folder. They all start with kReservedPrefix,
// which no game file may use.
#pragma once

#include <filesystem>

#include "updater/channel/manifest.h"

namespace kaldra::update {

// What is known of each file's content, so that an unchanged file is never read again.
inline std::filesystem::path statePath(const std::filesystem::path& root) {
  return root / ".kaldra-state";
}

// The manifest of the last successful "prepare", which "verify" checks against.
inline std::filesystem::path savedManifestPath(const std::filesystem::path& root) {
  return root / ".kaldra-manifest.json";
}

// The highest manifest sequence accepted from each channel, against replays.
inline std::filesystem::path channelLedgerPath(const std::filesystem::path& root) {
  return root / ".kaldra-channels.json";
}

// The newest key statement accepted (see key_chain.h).
inline std::filesystem::path keyStatementPath(const std::filesystem::path& root) {
  return root / ".kaldra-keys.json";
}

// Downloads in progress; a file moves out of here only once it is complete and checked.
inline std::filesystem::path partialDir(const std::filesystem::path& root) {
  return root / ".kaldra-partial";
}

}  // namespace kaldra::update
