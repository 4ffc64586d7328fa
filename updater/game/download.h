// Replacing one game file with the channel's copy, safely: the old file stays in place
// until the new one has arrived whole, matches the manifest and is on the disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "updater/channel/manifest.h"
#include "updater/game/file_cache.h"
#include "updater/net/network_settings.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

// The name of `file`'s download in the partial folder: the same file of the same
// manifest entry gets the same name in every run, so that it can be continued.
std::string partialName(const ManifestFile& file);

struct Downloaded {
  FileStamp stamp;             // of the installed file
  std::uint64_t received = 0;  // bytes that came over the network in this call
};

// Fetches `url` into its file in `partialDir` (which must exist), continuing what an
// earlier try left there, checking the size and SHA-256 of `file` as the bytes arrive,
// and renames it to `target` once it is whole. A transient failure is tried again, up to
// `settings.attempts` tries with growing pauses, each continuing where the last stopped;
// a server that ignores the range, or kept bytes that turn out to be of another version,
// start the file again. `onProgress` hears of every byte that moves the file closer to
// complete (the kept bytes included), never of the same offset twice.
//
// Throws UpdateError: integrity when the body is longer than listed or its digest
// differs; disk when writing, flushing or renaming fails; network when the transfer
// fails for good. Only after a network failure does the partial file stay, to be
// continued. `target` is untouched in every case.
Downloaded downloadFile(Transfer& transfer, const std::string& url, const ManifestFile& file,
                        const std::filesystem::path& target,
                        const std::filesystem::path& partialDir, const NetworkSettings& settings,
                        const std::function<void(std::uint64_t)>& onProgress);

}  // namespace kaldra::update
