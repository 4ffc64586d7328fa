// Replacing one game file with the channel's copy, safely: the old file stays in place
// until the new one has arrived whole, matches the manifest and is on the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "updater/file_cache.h"
#include "updater/manifest.h"
#include "updater/transfer.h"

namespace kaldra::update {

// Fetches `url` into a temporary file in `partialDir` (which must exist), checking the
// size and SHA-256 of `file` as the bytes arrive, flushes it, creates the target's
// folders and renames it to `target`. `onBytes` hears of every piece received. Returns
// the installed file's stamp.
//
// Throws UpdateError: integrity when the body is longer or shorter than listed or its
// digest differs; disk when writing, flushing or renaming fails; network from the
// transfer. In every case the temporary file is removed and `target` is untouched.
FileStamp downloadFile(Transfer& transfer, const std::string& url, const ManifestFile& file,
                       const std::filesystem::path& target, const std::filesystem::path& partialDir,
                       const std::function<void(std::uint64_t)>& onBytes);

}  // namespace kaldra::update
