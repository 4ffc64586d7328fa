// Reading property lists (XML or binary), such as a bundle's Info.plist.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

namespace kaldra::platform {

// The string-valued entries of the dictionary at the top of the property list at `path`.
// Entries of other types are left out. No value when the file cannot be read or parsed,
// or its top level is not a dictionary.
std::optional<std::map<std::string, std::string>> readPlistStrings(
    const std::filesystem::path& path);

}  // namespace kaldra::platform
