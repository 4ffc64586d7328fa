#include "updater/game/game_tree.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "updater/base/failure.h"

namespace kaldra::update {

namespace {

enum class Entry { missing, folder, link, other };

Entry entryAt(const std::filesystem::path& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return Entry::missing;
  if (S_ISLNK(info.st_mode)) return Entry::link;
  return S_ISDIR(info.st_mode) ? Entry::folder : Entry::other;
}

// Calls `visit` with each folder between `root` and the last component of `relative`.
template <typename Visit>
bool eachFolderOnTheWay(const std::filesystem::path& root, std::string_view relative, Visit visit) {
  std::filesystem::path folder = root;
  for (auto slash = relative.find('/'); slash != std::string_view::npos;
       slash = relative.find('/')) {
    folder /= relative.substr(0, slash);
    relative.remove_prefix(slash + 1);
    if (!visit(folder)) return false;
  }
  return true;
}

}  // namespace

std::optional<FileStamp> stampInside(const std::filesystem::path& root, std::string_view relative) {
  bool real = eachFolderOnTheWay(
      root, relative, [](const auto& folder) { return entryAt(folder) == Entry::folder; });
  if (!real) return std::nullopt;
  return stampOf(root / relative);
}

void makeFoldersInside(const std::filesystem::path& root, std::string_view relative) {
  eachFolderOnTheWay(root, relative, [](const std::filesystem::path& folder) {
    Entry entry = entryAt(folder);
    if (entry == Entry::link && ::unlink(folder.c_str()) != 0)
      throwDiskError("cannot remove the link " + folder.string(), errno);
    if (entry == Entry::other) throwDiskError("cannot create folder " + folder.string(), ENOTDIR);
    if (entry != Entry::folder && ::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST)
      throwDiskError("cannot create folder " + folder.string(), errno);
    return true;
  });
}

}  // namespace kaldra::update
