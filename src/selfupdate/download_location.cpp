#include "selfupdate/download_location.h"

#include <system_error>

namespace kaldra {

std::optional<std::filesystem::path> imageInDownloadFolder(const std::string& path,
                                                           const std::filesystem::path& folder) {
  if (path.empty() || folder.empty()) return std::nullopt;
  std::error_code error;
  auto file = std::filesystem::canonical(path, error);
  if (error) return std::nullopt;
  auto base = std::filesystem::canonical(folder, error);
  if (error) return std::nullopt;
  std::string prefix = base.string();
  if (!prefix.ends_with('/')) prefix += '/';
  if (!file.string().starts_with(prefix) || !file.string().ends_with(".dmg")) return std::nullopt;
  return file;
}

}  // namespace kaldra
