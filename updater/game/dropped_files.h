// The files of the installed version that a new version no longer lists. They go once the
// new version is in place, with the folders they leave empty; a file the player changed since
// it was installed stays where it is, and so does everything no manifest ever listed (saves,
// settings). A run cut short between two removals leaves the installed manifest in place, so
// the next run finds the rest and removes it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "updater/channel/manifest.h"
#include "updater/game/file_cache.h"

namespace kaldra::update {

struct DroppedFile {
  std::string path;
  FileStamp stamp;     // as found unchanged
  std::string sha256;  // its content, as the installed version lists it
};

// The files `installed` lists, `next` does not, and that still hold what `installed` says
// (by the cache's word, or read again); `note` hears of each one the player changed.
std::vector<DroppedFile> droppedFiles(const std::filesystem::path& root, const Manifest& installed,
                                      const Manifest& next, const FileCache& cache,
                                      const std::function<void(const std::string&)>& note);

// Removes each file that still has its stamp, then the folders left empty on its way up to
// `root`. Never follows a link below `root`. A file that cannot be removed is noted and left.
void removeDropped(const std::filesystem::path& root, const std::vector<DroppedFile>& dropped,
                   const std::function<void(const std::string&)>& note);

}  // namespace kaldra::update
