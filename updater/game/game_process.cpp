#include "updater/game/game_process.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <system_error>

namespace kaldra::update {

namespace {

bool linkInside(const std::filesystem::path& link, const std::string& prefix) {
  std::error_code error;
  auto target = std::filesystem::read_symlink(link, error);
  return !error && target.string().starts_with(prefix);
}

// The kernel names each mapped file by its resolved path, last on its line.
bool mapsFileInside(const std::filesystem::path& maps, const std::string& prefix) {
  std::ifstream in(maps);
  for (std::string line; std::getline(in, line);) {
    auto slash = line.find('/');
    if (slash != std::string::npos && line.compare(slash, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

int parentOf(int pid) {
  // The fourth field of /proc/PID/stat; the second, the name, may hold blanks and
  // parentheses, so the count starts after its closing one.
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  auto close = stat.rfind(')');
  if (close == std::string::npos || close + 4 >= stat.size()) return 0;
  return std::atoi(stat.c_str() + close + 4);
}

}  // namespace

std::vector<int> processesInside(const std::filesystem::path& folder,
                                 const std::set<int>& leaveOut) {
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
    if (name.empty() || *rest != '\0' || leaveOut.contains(static_cast<int>(pid))) continue;
    if (linkInside(it->path() / "exe", prefix) || mapsFileInside(it->path() / "maps", prefix))
      found.push_back(static_cast<int>(pid));
  }
  return found;
}

std::set<int> selfAndAncestors() {
  std::set<int> chain;
  for (int pid = ::getpid(); pid > 0 && chain.insert(pid).second;) pid = parentOf(pid);
  return chain;
}

}  // namespace kaldra::update
