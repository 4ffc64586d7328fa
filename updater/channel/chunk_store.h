// The channel's chunk store as a publisher writes it: every chunk once, under the SHA-256 of
// its bytes (compressed with zstd where that saves space), each file's chunk list under
// its own SHA-256, and each file that zstd does not shrink whole under its SHA-256, for a
// player who has none of it. Objects
// are only ever added: one that exists is never rewritten, so a cache or a player holding it can
// never hold an outdated copy.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/chunk_list.h"
#include "updater/channel/manifest.h"

namespace kaldra::update {

// Adds the object `bytes` at `path` of the store unless one is there: written beside, then
// linked into place, so that no one ever reads half an object. Throws UpdateError (disk).
void addStoreObject(const std::filesystem::path& path, std::string_view bytes);

class ChunkStore {
 public:
  explicit ChunkStore(std::filesystem::path channel) : channel_(std::move(channel)) {}

  struct Stored {
    std::uint64_t size = 0;
    std::string sha256;             // of the whole file
    std::string list;               // the SHA-256 that names its chunk list
    std::uint64_t storedBytes = 0;  // of its chunks, as stored
    std::uint64_t listBytes = 0;
    std::vector<ChunkRef> chunks;
    std::vector<std::uint64_t> chunkBytes;  // each chunk's, as stored
    std::size_t addedObjects = 0;           // new to the store
    std::uint64_t addedBytes = 0;
  };

  // Cuts the regular file at `file` into chunks and stores what the store lacks, its list
  // and (where zstd saves nothing) its whole copy included; with `dryRun` only counts what it would
  // add. `onChunk` hears each chunk's size as it is cut. Safe to call from several threads at once.
  // Throws UpdateError (disk).
  Stored storeFile(
      const std::filesystem::path& file, bool dryRun = false,
      const std::function<void(std::uint64_t)>& onChunk = [](std::uint64_t) {});

  // Flushes what was written to the disk, before a manifest names it. Throws UpdateError.
  void sync();

  struct Pruned {
    std::size_t objects = 0;
    std::uint64_t bytes = 0;
  };
  // Removes (or with `dryRun` only counts) the objects that none of the `kept` manifests
  // names, but those at the store paths `alsoKept`. Throws UpdateError, removing nothing, when
  // a list they name cannot be read: what it names would be unknown.
  Pruned prune(const std::vector<Manifest>& kept, bool dryRun,
               const std::vector<std::string>& alsoKept = {});

 private:
  std::filesystem::path channel_;
};

}  // namespace kaldra::update
