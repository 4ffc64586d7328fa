// The system's register of installed applications, told when a bundle changes in place.
#pragma once

#include <filesystem>

namespace kaldra::platform {

// Registers the bundle at `app` afresh. There is no such register here: nothing to do.
void registerApplication(const std::filesystem::path& app);

}  // namespace kaldra::platform
