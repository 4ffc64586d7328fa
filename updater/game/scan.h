// Comparing the game folder with the manifest: which files must be downloaded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

#include "updater/channel/manifest.h"
#include "updater/game/file_cache.h"

namespace kaldra::update {

struct ScanResult {
  std::vector<std::size_t> stale;  // indices into the manifest's files, ascending
  std::size_t filesRead = 0;       // files whose content had to be hashed
  std::uint64_t bytesRead = 0;
};

// Called from the hashing threads, never two at a time, with the bytes hashed so far.
using ScanProgress = std::function<void(std::uint64_t done, std::uint64_t total)>;

// A file is current when it is a regular file of the listed size whose digest matches,
// taken from `cache` when its stamp is unchanged and otherwise by reading it (on
// `threads` threads; each digest read is recorded in `cache`). Everything else is stale.
// Throws UpdateError (disk) when a file cannot be read.
ScanResult scanFolder(const std::filesystem::path& root, const Manifest& manifest, FileCache& cache,
                      unsigned threads, const ScanProgress& progress);

}  // namespace kaldra::update
