// Paths below the game folder that never lead out of it. The folder may hold symbolic
// links (left by a player, a backup tool or an attack); the tool follows none of them
// below the root: a link where a folder of the manifest should be is damage, repaired
// by replacing the link (never what it points to) with a real folder.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>

#include "updater/game/file_cache.h"

namespace kaldra::update {

// The stamp of the regular file at `root` / `relative`, when every folder on the way
// is a real folder; nothing when one is a link, missing, or the file is not a regular
// file (a link included).
std::optional<FileStamp> stampInside(const std::filesystem::path& root, std::string_view relative);

// Creates the folders on the way to `root` / `relative` (its last component is not
// created), replacing a symbolic link in their place. Throws UpdateError (disk) when
// something else is in the way, a regular file for instance.
void makeFoldersInside(const std::filesystem::path& root, std::string_view relative);

}  // namespace kaldra::update
