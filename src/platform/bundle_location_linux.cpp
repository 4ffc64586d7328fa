#include "platform/bundle_location.h"

#include <system_error>

namespace kaldra::platform {

std::filesystem::path executablePath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : path;
}

std::optional<std::filesystem::path> bundleOfExecutable(const std::filesystem::path& executable) {
  auto macos = executable.parent_path();
  auto contents = macos.parent_path();
  auto bundle = contents.parent_path();
  if (macos.filename() != "MacOS" || contents.filename() != "Contents" ||
      bundle.extension() != ".app")
    return std::nullopt;
  return bundle;
}

}  // namespace kaldra::platform
