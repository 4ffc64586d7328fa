// Where the platform's command-line tools (codesign, ditto, xattr, open, hdiutil, arch)
// are found.
#pragma once

#include <filesystem>
#include <string_view>

namespace kaldra::platform {

// The path of the tool `name`. The platform side answers its system folder (/usr/bin);
// a side that ships stand-ins answers their place among the bundle's `resources`.
// Any thread.
std::filesystem::path platformToolPath(const std::filesystem::path& resources,
                                       std::string_view name);

}  // namespace kaldra::platform
