#include "updater/game/scan.h"

#include <algorithm>
#include <mutex>
#include <optional>

#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/game/game_tree.h"

namespace kaldra::update {

ScanResult scanFolder(const std::filesystem::path& root, const Manifest& manifest, FileCache& cache,
                      unsigned threads, const ScanProgress& progress) {
  ScanResult result;
  struct ToRead {
    std::size_t index;
    FileStamp stamp;
    std::optional<FileDigest> digest;
  };
  std::vector<ToRead> toRead;
  std::uint64_t bytesToRead = 0;

  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    const auto& file = manifest.files[i];
    auto stamp = stampInside(root, file.path);
    if (!stamp || stamp->size != file.size) {
      result.stale.push_back(i);
    } else if (auto known = cache.digestIfUnchanged(file.path, *stamp)) {
      if (*known != file.sha256) result.stale.push_back(i);
    } else {
      toRead.push_back({i, *stamp, std::nullopt});
      bytesToRead += stamp->size;
    }
  }

  std::mutex progressMutex;
  std::uint64_t bytesDone = 0;
  parallelFor(toRead.size(), threads, [&](std::size_t k) {
    auto& item = toRead[k];
    item.digest = hashFile(root / manifest.files[item.index].path);
    std::lock_guard lock(progressMutex);
    bytesDone += item.digest->size;
    if (progress) progress(bytesDone, bytesToRead);
  });

  for (auto& item : toRead) {
    const auto& file = manifest.files[item.index];
    ++result.filesRead;
    result.bytesRead += item.digest->size;
    // A size that differs from the stamp's means the file changed while it was read.
    bool steady = item.digest->size == item.stamp.size;
    if (steady) cache.record(file.path, item.stamp, item.digest->sha256);
    if (!steady || item.digest->sha256 != file.sha256) result.stale.push_back(item.index);
  }
  std::sort(result.stale.begin(), result.stale.end());
  return result;
}

}  // namespace kaldra::update
