// "verify": an offline check of the game folder against the manifest of the last
// successful "prepare", by content.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

namespace kaldra::update {

struct VerifySummary {
  std::size_t files = 0;
  std::uint64_t bytes = 0;
};

// Reads every listed file whole on `threads` threads; the file cache is not trusted.
// Throws UpdateError: manifest when there is no readable saved manifest; integrity when a
// file is missing or differs in size or content (the message names the first and the
// count); disk when a file cannot be read.
VerifySummary verifyFolder(const std::filesystem::path& root, unsigned threads);

}  // namespace kaldra::update
