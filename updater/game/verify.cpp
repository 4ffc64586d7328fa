#include "updater/game/verify.h"

#include <atomic>
#include <string>
#include <vector>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/manifest.h"
#include "updater/game/file_cache.h"
#include "updater/game/game_folder.h"
#include "updater/game/game_tree.h"

namespace kaldra::update {

namespace {

Manifest savedManifest(const std::filesystem::path& root) {
  auto path = savedManifestPath(root);
  std::string reason;
  auto bytes = readFile(path, &reason);
  if (!bytes) {
    throw UpdateError(FailureKind::manifest,
                      "no saved manifest " + path.string() + " (" + reason + ")");
  }
  try {
    return parseManifest(*bytes);
  } catch (const UpdateError& error) {
    throw UpdateError(FailureKind::manifest, path.string() + ": " + error.what());
  }
}

}  // namespace

VerifySummary verifyFolder(const std::filesystem::path& root, unsigned threads,
                           const ByteCount& progress) {
  Manifest manifest = savedManifest(root);
  std::vector<std::string> problems(manifest.files.size());
  std::vector<std::uint64_t> bytesRead(manifest.files.size());
  std::uint64_t total = 0;
  for (const auto& file : manifest.files) total += file.size;
  std::atomic<std::uint64_t> done{0};

  parallelFor(manifest.files.size(), threads, [&](std::size_t i) {
    const auto& file = manifest.files[i];
    auto path = root / file.path;
    auto stamp = stampInside(root, file.path);
    if (!stamp) {
      problems[i] = "missing: " + path.string();
    } else if (stamp->size != file.size) {
      problems[i] = "size differs: " + path.string();
    } else {
      auto digest = hashFile(path);
      bytesRead[i] = digest.size;
      if (digest.sha256 != file.sha256) problems[i] = "content differs: " + path.string();
    }
    progress(done += file.size, total);
  });

  VerifySummary summary{.files = manifest.files.size()};
  std::size_t bad = 0;
  std::string first;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    summary.bytes += bytesRead[i];
    if (problems[i].empty()) continue;
    if (bad++ == 0) first = problems[i];
  }
  if (bad > 0) {
    throw UpdateError(FailureKind::integrity, std::to_string(bad) + " of " +
                                                  std::to_string(summary.files) +
                                                  " game files do not match; first " + first);
  }
  return summary;
}

}  // namespace kaldra::update
