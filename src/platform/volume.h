// Which volume (file system) a path lies on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kaldra::platform {

// The device number of the file system holding `path`, following symbolic links. No
// value when the path cannot be examined.
std::optional<std::int32_t> deviceNumber(const std::string& path);

}  // namespace kaldra::platform
