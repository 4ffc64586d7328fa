#include "updater/prepare.h"

#include <set>

#include "updater/channel.h"
#include "updater/download.h"
#include "updater/file_cache.h"
#include "updater/file_io.h"
#include "updater/game_folder.h"
#include "updater/game_tree.h"
#include "updater/manifest.h"
#include "updater/messages.h"
#include "updater/scan.h"
#include "updater/sha256.h"
#include "updater/transfer.h"

namespace kaldra::update {

namespace {

// Where each stage's progress lies on the 0..100 scale.
constexpr double kScanStart = 2;
constexpr double kDownloadStart = 20;
constexpr double kInstallAt = 99;

constexpr std::size_t kManifestLimit = 64 << 20;

double share(std::uint64_t done, std::uint64_t total) {
  return total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
}

std::string fetchManifest(Transfer& transfer, const std::string& channel) {
  std::string bytes;
  transfer.fetch(fileUrl(channel, "manifest.json"), [&](std::string_view piece) {
    if (bytes.size() + piece.size() > kManifestLimit)
      throw UpdateError(FailureKind::manifest, "manifest: larger than 64 MiB");
    bytes.append(piece);
  });
  return bytes;
}

void removePartialDir(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::remove_all(partialDir(root), error);
  if (error) throwDiskError("cannot clear " + partialDir(root).string(), error.value());
}

// The saved manifest is rewritten only when it says something new.
void saveManifest(const std::filesystem::path& root, const Manifest& manifest) {
  std::string json = manifestJson(manifest);
  if (readFile(savedManifestPath(root)) != json) writeFileDurably(savedManifestPath(root), json);
}

}  // namespace

PrepareSummary prepare(const PrepareRequest& request, EventWriter& events) {
  const auto& root = request.root;
  auto say = [&](Message m) { return message(m, request.language); };

  events.progress(Stage::manifest, 0, say(Message::loadingManifest));
  Transfer transfer;
  std::string manifestBytes = fetchManifest(transfer, request.channel);
  MatchedManifest fetched{.sha256 = sha256Hex(manifestBytes)};
  FileCache cache = FileCache::load(statePath(root));

  // The same manifest as last time, and not one file touched since: done, with stat alone.
  // Without its saved manifest the folder could not be verified: the full path restores it.
  if (cache.matched().sha256 == fetched.sha256 && stampOf(savedManifestPath(root)) &&
      cache.allUnchanged(root, request.threads)) {
    events.progress(Stage::ready, 100, say(Message::readyUnchanged));
    return {.version = cache.matched().version, .unchanged = true};
  }

  Manifest manifest = parseManifest(manifestBytes);
  fetched.version = manifest.version;
  PrepareSummary summary{.version = manifest.version, .files = manifest.files.size()};
  makeDirectories(root);
  removePartialDir(root);
  std::vector<std::string_view> paths;
  for (const auto& file : manifest.files) paths.push_back(file.path);
  cache.retainOnly(paths);

  events.progress(Stage::scan, kScanStart, say(Message::checkingFiles));
  auto scan = scanFolder(
      root, manifest, cache, request.threads, [&](std::uint64_t done, std::uint64_t total) {
        events.progress(Stage::scan,
                        kScanStart + (kDownloadStart - kScanStart) * share(done, total),
                        say(Message::checkingFiles));
      });
  summary.filesRead = scan.filesRead;

  if (scan.stale.empty()) {
    saveManifest(root, manifest);
    cache.setMatched(std::move(fetched));
    if (cache.changed()) cache.save(statePath(root));
    events.progress(Stage::ready, 100,
                    say(scan.filesRead == 0 ? Message::readyUnchanged : Message::readyChecked));
    return summary;
  }

  ByteProgress bytes;
  for (auto i : scan.stale) bytes.total += manifest.files[i].size;
  events.progress(Stage::download, kDownloadStart, say(Message::downloading), bytes);
  makeDirectories(partialDir(root));
  std::set<std::filesystem::path> touchedFolders;
  try {
    for (auto i : scan.stale) {
      const auto& file = manifest.files[i];
      auto target = root / file.path;
      makeFoldersInside(root, file.path);
      auto stamp =
          downloadFile(transfer, fileUrl(request.channel, file.path), file, target,
                       partialDir(root), [&](std::uint64_t received) {
                         bytes.done += received;
                         events.progress(Stage::download,
                                         kDownloadStart + (kInstallAt - kDownloadStart) *
                                                              share(bytes.done, bytes.total),
                                         say(Message::downloading), bytes);
                       });
      cache.record(file.path, stamp, file.sha256);
      touchedFolders.insert(target.parent_path());
      ++summary.filesDownloaded;
    }
  } catch (const UpdateError&) {
    // Remember the files installed so far, so that the next run skips them. A failure
    // here would only hide the one that matters.
    std::error_code ignored;
    std::filesystem::remove_all(partialDir(root), ignored);
    try {
      cache.save(statePath(root));
    } catch (const UpdateError&) {
    }
    throw;
  }
  summary.bytesDownloaded = bytes.done;

  events.progress(Stage::install, kInstallAt, say(Message::finishing));
  for (const auto& folder : touchedFolders) syncDirectory(folder);
  saveManifest(root, manifest);
  cache.setMatched(std::move(fetched));
  cache.save(statePath(root));
  removePartialDir(root);
  events.progress(Stage::ready, 100, say(Message::readyUpdated));
  return summary;
}

}  // namespace kaldra::update
