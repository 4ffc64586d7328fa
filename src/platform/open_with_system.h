// Opening a file or folder with the desktop's default handler, as the platform's
// workspace would. Unlike the toolkit's own opener this works on every display
// platform, the headless one included.
#pragma once

#include <filesystem>

namespace kaldra::platform {

// Hands `path` to the desktop's opener (xdg-open, found on PATH) as a detached process.
// Returns once it has started; false when the opener cannot be started.
bool openWithSystem(const std::filesystem::path& path);

}  // namespace kaldra::platform
