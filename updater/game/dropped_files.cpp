#include "updater/game/dropped_files.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <set>

#include "updater/base/sha256.h"
#include "updater/game/game_tree.h"

namespace kaldra::update {

std::vector<DroppedFile> droppedFiles(const std::filesystem::path& root, const Manifest& installed,
                                      const Manifest& next, const FileCache& cache,
                                      const std::function<void(const std::string&)>& note) {
  std::set<std::string_view> listed;
  for (const auto& file : next.files) listed.insert(file.path);
  std::vector<DroppedFile> dropped;
  for (const auto& file : installed.files) {
    if (listed.contains(file.path)) continue;
    auto stamp = stampInside(root, file.path);
    if (!stamp) continue;  // gone already, or not ours to touch
    auto known = cache.digestIfUnchanged(file.path, *stamp);
    bool unchanged =
        known ? *known == file.sha256
              : stamp->size == file.size && hashFile(root / file.path).sha256 == file.sha256;
    if (unchanged)
      dropped.push_back({file.path, *stamp, file.sha256});
    else
      note("kept " + file.path +
           ", which the new version no longer lists: changed since it "
           "was installed");
  }
  return dropped;
}

void removeDropped(const std::filesystem::path& root, const std::vector<DroppedFile>& dropped,
                   const std::function<void(const std::string&)>& note) {
  for (const auto& file : dropped) {
    if (stampInside(root, file.path) != file.stamp) continue;
    auto path = root / file.path;
    if (::unlink(path.c_str()) != 0) {
      note("cannot remove " + path.string() + ": " + std::strerror(errno));
      continue;
    }
    note("removed " + file.path + ", which the new version no longer lists");
    // Up to the root, while the folders are empty; rmdir refuses any other.
    for (auto folder = std::filesystem::path(file.path).parent_path(); !folder.empty();
         folder = folder.parent_path())
      if (::rmdir((root / folder).c_str()) != 0) break;
  }
}

}  // namespace kaldra::update
