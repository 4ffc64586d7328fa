#include "updater/game/prepare.h"

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/freshness.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/manifest.h"
#include "updater/channel/manifest_fetch.h"
#include "updater/channel/patches.h"
#include "updater/channel/signature.h"
#include "updater/game/chunked_files.h"
#include "updater/game/download.h"
#include "updater/game/dropped_files.h"
#include "updater/game/file_cache.h"
#include "updater/game/game_folder.h"
#include "updater/game/game_tree.h"
#include "updater/game/scan.h"
#include "updater/net/metadata_fetch.h"
#include "updater/net/transfer.h"
#include "updater/net/transfer_pool.h"
#include "updater/texts/messages.h"

namespace kaldra::update {

namespace {

// Where each stage's progress lies on the 0..100 scale.
constexpr double kScanStart = 2;
constexpr double kDownloadStart = 20;
constexpr double kInstallAt = 99;

// Files in flight at once: enough to hide each request's round trip.
constexpr unsigned kParallelTransfers = 8;

double share(std::uint64_t done, std::uint64_t total) {
  return total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
}

// The manifest's bytes, signed by a key of the newest key statement, and that statement.
std::pair<std::string, KeyStatement> fetchManifest(Transfer& transfer, const std::string& channel,
                                                   const NetworkSettings& settings,
                                                   const std::filesystem::path& root,
                                                   Language language) {
  auto deadline = metadataDeadline(settings);
  try {
    auto head = channelKeys(transfer, channel, settings, deadline, keyStatementPath(root));
    return {fetchSignedManifest(transfer, channel, settings, deadline, head), head};
  } catch (const TransferError& error) {
    // Not there, or not for us: a wrong or withdrawn channel, not a connection to check.
    if (!error.missing() && error.httpStatus() != 403) throw;
    throw UpdateError(FailureKind::network, error.what(), std::string(notOfferedMessage(language)));
  }
}

// Throws UpdateError (disk) before anything is fetched when the disk holding `root` cannot
// take `needed` more bytes.
void requireSpace(const std::filesystem::path& root, std::uint64_t needed, Language language) {
  auto free = freeBytes(root);
  if (!free || *free >= needed) return;
  constexpr std::uint64_t kMb = 1000000;
  throw UpdateError(FailureKind::disk,
                    "the update needs " + std::to_string(needed) + " bytes in " + root.string() +
                        ", and " + std::to_string(*free) + " are free",
                    spaceMessage((needed + kMb - 1) / kMb, root.string(), *free / kMb, language));
}

void removePartialDir(const std::filesystem::path& root) {
  std::error_code error;
  std::filesystem::remove_all(partialDir(root), error);
  if (error) throwDiskError("cannot clear " + partialDir(root).string(), error.value());
}

// Keeps the downloads an earlier run left for the files still to fetch, so that they can
// be continued, and removes every other entry of the partial folder.
void keepOnlyPartials(const std::filesystem::path& root, const std::set<std::string>& names) {
  makeFoldersInside(root, partialDir(root).filename().string() + "/");  // a link replaced
  std::error_code error;
  for (std::filesystem::directory_iterator it(partialDir(root), error), end; !error && it != end;
       it.increment(error)) {
    // A link under a kept name would stop every run at the partial file's opening.
    if (it->symlink_status(error).type() == std::filesystem::file_type::regular &&
        names.contains(it->path().filename().string()))
      continue;
    std::filesystem::remove_all(it->path(), error);
  }
  if (error) throwDiskError("cannot clear " + partialDir(root).string(), error.value());
}

// The patches of the manifest whose bytes have `manifestSha256` (of `listed` files) that make
// one of `files` from a file here: one of them as it is now, or one the new version drops
// (a file moved, or renamed with a new version number), by the content each was found to hold.
// Patches only save bytes: without an index, or with one that cannot be had, there are none.
std::map<std::string, PatchUse> usablePatches(TransferPool& transfers,
                                              const PrepareRequest& request,
                                              const std::string& manifestSha256, std::size_t listed,
                                              const std::vector<const ManifestFile*>& files,
                                              const std::vector<DroppedFile>& dropped,
                                              const FileCache& cache) {
  std::map<std::string, std::string> held;  // a file's path by its content's digest
  std::map<std::string, const ManifestFile*> wanted;
  for (const ManifestFile* file : files) {
    wanted.emplace(file->sha256, file);
    if (auto stamp = stampOf(request.root / file->path))
      if (auto digest = cache.digestIfUnchanged(file->path, *stamp))
        held.emplace(*digest, file->path);
  }
  for (const auto& file : dropped) held.emplace(file.sha256, file.path);
  std::map<std::string, PatchUse> usable;
  if (held.empty()) return usable;
  auto transfer = transfers.take();
  try {
    auto text = fetchMetadata(*transfer, fileUrl(request.channel, patchIndexPath(manifestSha256)),
                              listed * 256 + 64, FailureKind::manifest, request.network,
                              metadataDeadline(request.network));
    for (auto& patch : parsePatchIndex(text)) {
      auto file = wanted.find(patch.to);
      auto source = held.find(patch.from);
      if (file != wanted.end() && source != held.end())
        usable.emplace(file->second->path, PatchUse{std::move(patch), source->second});
    }
  } catch (const UpdateError& error) {
    auto* transferError = dynamic_cast<const TransferError*>(&error);
    if (!transferError || !transferError->missing())
      request.note(std::string("no patches: ") + error.what());
  }
  transfers.give(std::move(transfer));
  return usable;
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
  TransferPool transfers(request.network);
  auto first = transfers.take();
  // Not a structured binding: the lambda below captures `head`, which Clang 14 refuses.
  const auto signedManifest =
      fetchManifest(*first, request.channel, request.network, root, request.language);
  const std::string& manifestBytes = signedManifest.first;
  const KeyStatement& head = signedManifest.second;
  transfers.give(std::move(first));
  // Its freshness is read before anything else: even the manifest of the last run may have
  // been replayed or held back past its time.
  auto fresh = [&](const Freshness& freshness) {
    requirePublishedUnder(head, freshness.keys, "manifest");
    requireFresh(freshness, channelLedgerPath(root), request.channel, "manifest", unixNow());
    return [&root, &request, freshness] {
      rememberFresh(freshness, channelLedgerPath(root), request.channel);
    };
  };
  MatchedManifest fetched{.sha256 = sha256Hex(manifestBytes)};
  FileCache cache = FileCache::load(statePath(root));

  // The same manifest as last time, and not one file touched since: done, with stat alone
  // and without reading the list of files again. Without its saved manifest the folder
  // could not be verified: the full path restores it.
  if (cache.matched().sha256 == fetched.sha256) {
    auto accepted = fresh(manifestFreshness(manifestBytes));
    if (stampOf(savedManifestPath(root)) && cache.allUnchanged(root, request.threads)) {
      accepted();
      events.progress(Stage::ready, 100, say(Message::readyUnchanged));
      return {.version = cache.matched().version, .unchanged = true};
    }
  }
  Manifest manifest = parseManifest(manifestBytes);
  auto accepted = fresh(manifest.freshness);
  fetched.version = manifest.version;

  PrepareSummary summary{.version = manifest.version, .files = manifest.files.size()};
  makeDirectories(root);
  // What the installed version holds and this one does not goes once this one is in place;
  // the cache still knows those files here.
  std::vector<DroppedFile> dropped;
  if (auto installed = readManifest(savedManifestPath(root)))
    dropped = droppedFiles(root, *installed, manifest, cache, request.note);
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

  // The version is in place: what it no longer lists goes, then the folder is marked as
  // holding it, and only then are the partial builds given up.
  auto finish = [&](Message ready) {
    removeDropped(root, dropped, request.note);
    saveManifest(root, manifest);
    cache.setMatched(std::move(fetched));
    if (cache.changed()) cache.save(statePath(root));
    accepted();
    removePartialDir(root);
    events.progress(Stage::ready, 100, say(ready));
    return summary;
  };
  if (scan.stale.empty())
    return finish(scan.filesRead == 0 ? Message::readyUnchanged : Message::readyChecked);

  // Files the channel's store describes are built from chunks; the others come whole.
  std::set<std::string> partials;
  std::vector<const ManifestFile*> whole, fromChunks;
  ByteProgress bytes;
  for (auto i : scan.stale) {
    const auto& file = manifest.files[i];
    partials.insert(partialName(file));
    if (file.chunks.empty()) {
      whole.push_back(&file);
      bytes.total += file.size;
    } else {
      fromChunks.push_back(&file);
    }
  }
  keepOnlyPartials(root, partials);
  ChunkedFiles chunked(root, request.channel, request.network, transfers);
  std::vector<std::string> droppedPaths;
  for (const auto& file : dropped) droppedPaths.push_back(file.path);
  chunked.plan(fromChunks, droppedPaths,
               usablePatches(transfers, request, fetched.sha256, manifest.files.size(), fromChunks,
                             dropped, cache));
  std::erase_if(fromChunks, [&](const ManifestFile* file) {
    if (!chunked.fetchWhole(*file)) return false;
    whole.push_back(file);
    bytes.total += file->size;
    return true;
  });
  bytes.total += chunked.bytesToFetch();
  // Every file is written whole beside the one it replaces; what a build left is counted.
  std::uint64_t toWrite = 0;
  for (auto i : scan.stale) {
    const auto& file = manifest.files[i];
    auto begun = stampOf(partialDir(root) / partialName(file));
    toWrite += file.size - std::min(file.size, begun ? begun->size : 0);
  }
  requireSpace(root, toWrite, request.language);
  events.progress(Stage::download, kDownloadStart, say(Message::downloading), bytes);

  std::set<std::filesystem::path> touchedFolders;
  std::mutex progressMutex;  // one stream of events, its byte counts only ever growing
  std::mutex foldersMutex;
  auto onBytes = [&](std::uint64_t advanced) {
    std::lock_guard lock(progressMutex);
    bytes.done += advanced;
    events.progress(Stage::download,
                    kDownloadStart + (kInstallAt - kDownloadStart) * share(bytes.done, bytes.total),
                    say(Message::downloading), bytes);
  };
  auto installed = [&](const ManifestFile& file, const Downloaded& downloaded) {
    std::lock_guard lock(progressMutex);
    cache.record(file.path, downloaded.stamp, file.sha256);
    touchedFolders.insert((root / file.path).parent_path());
    ++summary.filesDownloaded;
    summary.bytesDownloaded += downloaded.received;
  };
  auto makeFolders = [&](const ManifestFile& file) {
    // Two files of one folder must not both repair a link in their way.
    std::lock_guard lock(foldersMutex);
    makeFoldersInside(root, file.path);
  };
  try {
    chunked.fetchPatches(onBytes);
    parallelFor(whole.size(), kParallelTransfers, [&](std::size_t n) {
      const auto& file = *whole[n];
      makeFolders(file);
      auto transfer = transfers.take();
      Downloaded downloaded;
      try {
        downloaded = downloadFile(
            *transfer,
            fileUrl(request.channel, file.chunks.empty() ? file.path : fileObjectPath(file.sha256)),
            file, root / file.path, partialDir(root), request.network, onBytes);
      } catch (const UpdateError& error) {
        // A store without the file whole (uploaded in part, or purged), or with other bytes
        // under its name, may still have its chunks.
        auto* transferError = dynamic_cast<const TransferError*>(&error);
        bool unusable =
            (transferError && transferError->missing()) || error.kind() == FailureKind::integrity;
        if (!unusable || file.chunks.empty()) throw;
        {
          std::lock_guard lock(progressMutex);
          request.note("the store's whole copy of " + file.path + " is unusable (" + error.what() +
                       "); building it from its chunks");
        }
        downloaded = chunked.build(file, 1, onBytes);
      }
      transfers.give(std::move(transfer));
      installed(file, downloaded);
    });
    // The same number of chunks in flight, however many files share them.
    auto files =
        static_cast<unsigned>(std::min<std::size_t>(fromChunks.size(), kParallelTransfers));
    parallelFor(fromChunks.size(), files, [&](std::size_t n) {
      makeFolders(*fromChunks[n]);
      installed(*fromChunks[n],
                chunked.build(*fromChunks[n], std::max(1u, kParallelTransfers / files), onBytes));
    });
    summary.bytesDownloaded += chunked.received();
  } catch (const UpdateError&) {
    // Remember the files installed so far, so that the next run skips them; the partial
    // downloads stay to be continued. A failure here would only hide the one that matters.
    try {
      cache.save(statePath(root));
    } catch (const UpdateError&) {
    }
    throw;
  }

  events.progress(Stage::install, kInstallAt, say(Message::finishing));
  for (const auto& folder : touchedFolders) syncDirectory(folder);
  return finish(Message::readyUpdated);
}

}  // namespace kaldra::update
