#include "updater/channel/publish.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <set>
#include <utility>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunk_store.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/publish_filter.h"
#include "updater/channel/signature.h"

namespace kaldra::update {

namespace {

// The game files below `folder`, sorted by path.
std::vector<ManifestFile> gameFiles(const std::filesystem::path& folder,
                                    const PublishFilter& filter) {
  const std::set<std::string> own{
      std::string(kManifestName),     signatureFileName(kManifestName),
      std::string(kKeyStatementName), signatureFileName(kKeyStatementName),
      std::string(kKeyChainName),     std::string(kIgnoreFileName)};
  std::vector<ManifestFile> files;
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    auto type = it->symlink_status(error).type();
    if (error) continue;
    auto path = it->path().lexically_relative(folder).generic_string();
    bool isFolder = type == std::filesystem::file_type::directory;
    if ((path == kStoreFolder && isFolder) || filter.excludes(path, isFolder)) {
      if (isFolder) it.disable_recursion_pending();
      continue;
    }
    if (own.contains(path) || isFolder) continue;
    if (type != std::filesystem::file_type::regular)
      throw UpdateError(FailureKind::other, "not a regular file: " + it->path().string());
    if (auto problem = pathProblem(path); !problem.empty())
      throw UpdateError(FailureKind::other, "cannot publish \"" + path + "\": " + problem);
    files.push_back({.path = path});
  }
  if (error) throwDiskError("cannot list " + folder.string(), error.value());
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.path < b.path; });
  return files;
}

// The chunks a player holding `manifest` has, by digest; those of lists the store lacks are
// simply not counted.
std::set<std::string> chunksOf(const std::filesystem::path& folder, const Manifest& manifest) {
  std::set<std::string> chunks;
  for (const auto& file : manifest.files) {
    auto list = file.chunks.empty() ? std::nullopt : readFile(folder / chunkListPath(file.chunks));
    if (!list) continue;
    try {
      for (const auto& chunk : parseChunkList(*list)) chunks.insert(chunk.sha256);
    } catch (const UpdateError&) {
    }
  }
  return chunks;
}

void compare(PublishReport& report) {
  std::map<std::string, std::string> before;
  if (report.previous)
    for (const auto& file : report.previous->files) before[file.path] = file.sha256;
  for (const auto& file : report.manifest.files) {
    auto it = before.find(file.path);
    if (it == before.end())
      report.added.push_back(file.path);
    else if (it->second != file.sha256)
      report.changed.push_back(file.path);
    if (it != before.end()) before.erase(it);
    if (looksPrivate(file.path)) report.private_.push_back(file.path);
  }
  for (const auto& [path, digest] : before) report.removed.push_back(path);
}

}  // namespace

PublishReport publishFolder(const PublishRequest& request) {
  const auto& folder = request.folder;
  auto keys = publishedKeys(folder);
  requireListedKey(keys, request.privateKeyPem);
  PublishReport report{.previous = readManifest(folder / kManifestName)};
  auto& manifest = report.manifest;
  manifest = {.version = request.version,
              .files = gameFiles(folder, PublishFilter(folder, request.excludes)),
              .freshness = nextFreshness(publishedFreshness(folder / kManifestName), keys.number,
                                         unixNow(), request.expiresDays)};

  ChunkStore store(folder);
  std::vector<ChunkStore::Stored> stored(manifest.files.size());
  std::uint64_t total = 0;
  std::vector<std::pair<std::uint64_t, std::size_t>> bySize;  // size, index
  std::error_code ignored;
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    auto size = std::filesystem::file_size(folder / manifest.files[i].path, ignored);
    bySize.emplace_back(ignored ? 0 : size, i);
    total += bySize.back().first;
  }
  // The biggest first: one begun last would run on alone while the other threads idle.
  std::sort(bySize.begin(), bySize.end(), std::greater<>());
  std::atomic<std::uint64_t> done{0};
  parallelFor(manifest.files.size(), request.threads, [&](std::size_t next) {
    const std::size_t i = bySize[next].second;
    auto& file = manifest.files[i];
    if (request.layout == Layout::chunkStore) {
      stored[i] = store.storeFile(folder / file.path, request.dryRun, [&](std::uint64_t bytes) {
        request.progress(done += bytes, total);
      });
      file.size = stored[i].size;
      file.sha256 = stored[i].sha256;
      file.chunks = stored[i].list;
      file.stored = stored[i].storedBytes;
      return;
    }
    auto digest = hashFile(folder / file.path);
    file.size = digest.size;
    file.sha256 = std::move(digest.sha256);
    request.progress(done += file.size, total);
  });
  compare(report);

  // What players fetch: whole files by path without the store; with it, the lists and the
  // chunks they lack, or (for a new player) each file as stored.
  auto previousChunks =
      report.previous ? chunksOf(folder, *report.previous) : std::set<std::string>();
  std::set<std::string> counted;
  std::map<std::string, std::uint64_t> chunkCost;  // by file digest, for players on `previous`
  std::set<std::string> changed(report.changed.begin(), report.changed.end());
  changed.insert(report.added.begin(), report.added.end());
  for (std::size_t i = 0; i < manifest.files.size(); ++i) {
    const auto& file = manifest.files[i];
    bool toFetch = changed.contains(file.path);
    if (request.layout == Layout::wholeFiles) {
      report.fetchFresh += file.size;
      report.fetchFromPrevious += toFetch ? file.size : 0;
      continue;
    }
    report.newObjects += stored[i].addedObjects;
    report.storeGrowth += stored[i].addedBytes;
    report.fetchFresh += std::min(file.size, *file.stored);
    if (!toFetch) continue;
    // The list of a file that is one chunk is implied by the manifest.
    auto& cost = chunkCost[file.sha256];
    cost = stored[i].chunks.size() == 1 ? 0 : stored[i].listBytes;
    for (std::size_t c = 0; c < stored[i].chunks.size(); ++c) {
      const auto& digest = stored[i].chunks[c].sha256;
      if (!previousChunks.contains(digest) && counted.insert(digest).second)
        cost += stored[i].chunkBytes[c];
    }
    report.fetchFromPrevious += cost;
  }
  if (request.dryRun) return report;

  // Objects first, the manifest that names them last.
  if (request.layout == Layout::chunkStore) store.sync();
  std::string json = manifestJson(manifest);
  std::string signature = signBytes(json, request.privateKeyPem);
  writeFileDurably(folder / kManifestName, json);
  writeFileDurably(folder / signatureFileName(kManifestName), signature);
  if (request.patches && report.previous && request.layout == Layout::chunkStore)
    report.patches = addPatches(folder, *report.previous, manifest, sha256Hex(json),
                                std::min(request.threads, 2u), chunkCost);
  // A player takes a patch instead of the list and the chunks.
  for (const auto& patch : report.patches.patches)
    report.fetchFromPrevious += patch.size - std::exchange(chunkCost[patch.to], patch.size);
  return report;
}

}  // namespace kaldra::update
