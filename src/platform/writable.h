// Whether this process may create and remove entries in a folder (or write a file), as
// the platform's file manager answers it.
#pragma once

#include <filesystem>

namespace kaldra::platform {

// False when `path` does not exist or the process lacks write permission on it.
bool isWritable(const std::filesystem::path& path);

}  // namespace kaldra::platform
