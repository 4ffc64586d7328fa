// "verify": an offline check of the game folder against the manifest of the last
// successful "prepare", by content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

namespace kaldra::update {

struct VerifySummary {
  std::size_t files = 0;
  std::uint64_t bytes = 0;
};

// Reads every listed file whole on `threads` threads; the file cache is not trusted.
// Throws UpdateError: manifest when there is no readable saved manifest; integrity when a
// file is missing or differs in size or content (the message names the first and the
// count); disk when a file cannot be read.
// `progress` hears the bytes checked so far and in all, from the threads as they go.
using ByteCount = std::function<void(std::uint64_t done, std::uint64_t total)>;
VerifySummary verifyFolder(
    const std::filesystem::path& root, unsigned threads,
    const ByteCount& progress = [](std::uint64_t, std::uint64_t) {});

}  // namespace kaldra::update
