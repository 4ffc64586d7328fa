// Where the running executable's application bundle lies.
#pragma once

#include <filesystem>
#include <optional>

namespace kaldra::platform {

// The path of the running executable, with symbolic links resolved.
std::filesystem::path executablePath();

// The bundle that holds `executable` when it lies at X.app/Contents/MacOS/<name>;
// no value otherwise (for instance a test binary in the build tree).
std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable);

}  // namespace kaldra::platform
