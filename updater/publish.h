// "publish": turns a folder of game files into a channel by writing its manifest.
#pragma once

#include <filesystem>
#include <string>

#include "updater/manifest.h"

namespace kaldra::update {

// Lists every regular file below `folder` (except a top-level "manifest.json") with its
// size and digest, sorted by path, and writes the list durably to
// `folder`/manifest.json. Throws UpdateError: disk when a file cannot be read or the
// manifest written; other for an entry that cannot be published (a symbolic link or
// special file, or a name that the manifest refuses).
Manifest publishFolder(const std::filesystem::path& folder, const std::string& version,
                       unsigned threads);

}  // namespace kaldra::update
