// The record of declined self-install offers: "self-install-declined.txt", one entry
// "<bundle path>|<version>" per line, the 20 latest, oldest first.
//
//   if (!contains(readDeclined(file), key)) offer();
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kaldra {

inline constexpr std::size_t kMaxDeclined = 20;

// The entries in the marker at `file`, empty lines dropped; none when it is missing or
// unreadable.
std::vector<std::string> readDeclined(const std::filesystem::path& file);

// `entries` with `key` appended, the oldest dropped so that at most kMaxDeclined remain.
std::vector<std::string> withDeclined(std::vector<std::string> entries, const std::string& key);

// Replaces the marker with `entries`, each ending in a line feed, atomically. False on
// failure.
bool writeDeclined(const std::filesystem::path& file, const std::vector<std::string>& entries);

}  // namespace kaldra
