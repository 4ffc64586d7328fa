#include "updater/channel/publish.h"

#include <algorithm>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunk_store.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/signature.h"

namespace kaldra::update {

Manifest publishFolder(const std::filesystem::path& folder, const std::string& version,
                       unsigned threads, std::string_view privateKeyPem, unsigned expiresDays,
                       Layout layout) {
  const std::string signatureName = signatureFileName(kManifestName);
  auto keys = publishedKeys(folder);
  requireListedKey(keys, privateKeyPem);
  Manifest manifest{.version = version,
                    .freshness = nextFreshness(publishedFreshness(folder / kManifestName),
                                               keys.number, unixNow(), expiresDays)};
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(folder, error), end;
  for (; !error && it != end; it.increment(error)) {
    auto type = it->symlink_status(error).type();
    if (error) continue;
    auto path = it->path().lexically_relative(folder).generic_string();
    // The channel's own files, not the game's.
    if (path == kStoreFolder && type == std::filesystem::file_type::directory) {
      it.disable_recursion_pending();
      continue;
    }
    if (path == kManifestName || path == signatureName || path == kKeyStatementName ||
        path == signatureFileName(kKeyStatementName) || path == kKeyChainName)
      continue;
    if (type == std::filesystem::file_type::directory) continue;
    if (type != std::filesystem::file_type::regular)
      throw UpdateError(FailureKind::other, "not a regular file: " + it->path().string());
    if (auto problem = pathProblem(path); !problem.empty())
      throw UpdateError(FailureKind::other, "cannot publish \"" + path + "\": " + problem);
    manifest.files.push_back({.path = path});
  }
  if (error) throwDiskError("cannot list " + folder.string(), error.value());

  std::sort(manifest.files.begin(), manifest.files.end(),
            [](const auto& a, const auto& b) { return a.path < b.path; });
  ChunkStore store(folder);
  parallelFor(manifest.files.size(), threads, [&](std::size_t i) {
    auto& file = manifest.files[i];
    if (layout == Layout::wholeFiles) {
      auto digest = hashFile(folder / file.path);
      file.size = digest.size;
      file.sha256 = std::move(digest.sha256);
      return;
    }
    auto stored = store.storeFile(folder / file.path);
    file.size = stored.size;
    file.sha256 = std::move(stored.sha256);
    file.chunks = std::move(stored.list);
    file.stored = stored.storedBytes;
  });
  // Objects first, the manifest that names them last.
  if (layout == Layout::chunkStore) store.sync();
  std::string json = manifestJson(manifest);
  std::string signature = signBytes(json, privateKeyPem);
  writeFileDurably(folder / kManifestName, json);
  writeFileDurably(folder / signatureName, signature);
  return manifest;
}

}  // namespace kaldra::update
