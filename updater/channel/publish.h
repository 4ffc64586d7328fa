// "publish": turns a folder of game files into a channel by writing its manifest and the
// manifest's signature.
#pragma once

#include <filesystem>
#include <string>

#include "updater/channel/manifest.h"

namespace kaldra::update {

// Lists every regular file below `folder` (except the top-level "manifest.json", the key
// statement "keys.json", their signatures and the chunk store "kaldra-store/") with its size,
// digest and chunk list, sorted by path; adds the chunks and lists the store lacks; writes the
// list durably to `folder`/manifest.json and signs it with `privateKeyPem` beside it. Throws
// UpdateError: disk when a file cannot be read or the manifest written; other for an entry that
// cannot be published (a symbolic link or special file, or a name that the manifest refuses) or an
// unusable key. Nothing is written then. The manifest's sequence follows the one already in
// `folder` (see nextFreshness); it expires after `expiresDays` days.
// With Layout::wholeFiles no store is written: every tool then fetches the files whole, by
// their paths, as tools older than the store always do.
enum class Layout { chunkStore, wholeFiles };
Manifest publishFolder(const std::filesystem::path& folder, const std::string& version,
                       unsigned threads, std::string_view privateKeyPem, unsigned expiresDays = 30,
                       Layout layout = Layout::chunkStore);

}  // namespace kaldra::update
