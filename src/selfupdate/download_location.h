// Where a fetched launcher image may lie: inside the download folder, as a ".dmg" file.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kaldra {

// The reported `path` with ".", ".." and symbolic links resolved, when that names an
// existing file below `folder` (resolved the same way) whose name ends in ".dmg"
// (case-sensitive); otherwise no value. "download/../x.dmg" and a link in the folder
// pointing elsewhere are refused.
std::optional<std::filesystem::path> imageInDownloadFolder(const std::string& path,
                                                           const std::filesystem::path& folder);

}  // namespace kaldra
