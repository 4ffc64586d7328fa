#include "updater/game_process.h"

#include <cstdlib>
#include <string>
#include <system_error>

namespace kaldra::update {

namespace {

bool isInside(const std::filesystem::path& link, const std::string& prefix) {
  std::error_code error;
  auto target = std::filesystem::read_symlink(link, error);
  return !error && (target.string() + "/").starts_with(prefix);
}

}  // namespace

std::vector<int> processesInside(const std::filesystem::path& folder, int leaveOut) {
  std::vector<int> found;
  std::error_code error;
  auto resolved = std::filesystem::canonical(folder, error);
  if (error) return found;
  std::string prefix = resolved.string();
  if (!prefix.ends_with('/')) prefix += '/';

  std::filesystem::directory_iterator it("/proc", error), end;
  for (; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    char* rest = nullptr;
    long pid = std::strtol(name.c_str(), &rest, 10);
    if (name.empty() || *rest != '\0' || pid == leaveOut) continue;
    if (isInside(it->path() / "exe", prefix) || isInside(it->path() / "cwd", prefix))
      found.push_back(static_cast<int>(pid));
  }
  return found;
}

}  // namespace kaldra::update
