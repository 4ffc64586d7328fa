// Starting another application bundle, as the platform's workspace would.
#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace kaldra::platform {

// Starts the executable of the bundle at `app` (Contents/MacOS/<CFBundleExecutable>) as
// a new detached process with `extraEnv` added to this process's environment, less its
// entries whose names begin with `notInherited` (when not empty). Returns once it has
// started; false when the bundle or its executable cannot be started.
bool openApplication(const std::filesystem::path& app,
                     const std::map<std::string, std::string>& extraEnv = {},
                     const std::string& notInherited = "");

}  // namespace kaldra::platform
