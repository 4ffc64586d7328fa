#include "updater/channel/publish_filter.h"

#include <fnmatch.h>

#include <sstream>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

PublishFilter::PublishFilter(const std::filesystem::path& folder,
                             const std::vector<std::string>& patterns)
    : patterns_(patterns) {
  auto file = folder / kIgnoreFileName;
  if (!std::filesystem::exists(file)) return;
  std::string reason;
  auto text = readFile(file, &reason);
  if (!text) throw UpdateError(FailureKind::disk, "cannot read " + file.string() + ": " + reason);
  std::istringstream lines(*text);
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line.front() != '#') patterns_.push_back(line);
  }
}

bool PublishFilter::excludes(std::string_view path, bool folder) const {
  std::string full(path);
  auto name = full.substr(full.rfind('/') + 1);
  for (auto pattern : patterns_) {
    bool onlyFolders = pattern.ends_with('/');
    if (onlyFolders) pattern.pop_back();
    if (pattern.empty() || (onlyFolders && !folder)) continue;
    bool anchored = pattern.find('/') != std::string::npos;
    if (anchored && pattern.front() == '/') pattern.erase(0, 1);
    const auto& subject = anchored ? full : name;
    if (::fnmatch(pattern.c_str(), subject.c_str(), FNM_PATHNAME) == 0) return true;
  }
  return false;
}

bool looksPrivate(std::string_view path) {
  for (std::size_t start = 0; start <= path.size();) {
    auto end = path.find('/', start);
    auto name = path.substr(start, end == std::string_view::npos ? path.npos : end - start);
    if (name.starts_with('.') || name.starts_with('#') || name.ends_with('~') || name == "CVS" ||
        name.ends_with(".swp") || name.ends_with(".bak") || name.ends_with(".orig"))
      return true;
    if (end == std::string_view::npos) break;
    start = end + 1;
  }
  return false;
}

}  // namespace kaldra::update
