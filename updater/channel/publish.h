// "publish": turns a folder of game files into a channel by writing its manifest and the
// manifest's signature, and says what changed and what it costs players.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "updater/channel/manifest.h"
#include "updater/channel/patches.h"

namespace kaldra::update {

// With Layout::wholeFiles no store is written: every tool then fetches the files whole, by
// their paths, as tools older than the store always do.
enum class Layout { chunkStore, wholeFiles };

struct PublishRequest {
  std::filesystem::path folder;
  std::string version;
  std::string privateKeyPem;
  unsigned threads = 1;
  unsigned expiresDays = 30;
  Layout layout = Layout::chunkStore;
  std::vector<std::string> excludes;  // patterns besides the folder's ignore file
  bool dryRun = false;                // everything but writing
  bool patches = true;                // from the previous version, after the manifest
  // Hears the bytes read so far and in all, from the threads as they go.
  std::function<void(std::uint64_t done, std::uint64_t total)> progress = [](std::uint64_t,
                                                                             std::uint64_t) {};
};

struct PublishReport {
  Manifest manifest;
  std::optional<Manifest> previous;  // what the folder held, when it could be read
  std::vector<std::string> added, changed, removed;
  std::vector<std::string> private_;  // published paths that look like nothing to ship
  std::size_t newObjects = 0;         // what the store grew by
  std::uint64_t storeGrowth = 0;
  std::uint64_t fetchFromPrevious = 0;  // about what a player on `previous` fetches
  std::uint64_t fetchFresh = 0;         // what a new player fetches
  PatchesMade patches;                  // for players on `previous`
};

// Lists every regular file below the folder (except the channel's own files: manifest.json,
// the key statements, their signatures, the chunk store "kaldra-store/" and the ignore file,
// and what the filter leaves out) with its size, digest and chunk list, sorted by path; adds
// the chunks, lists and copies the store lacks; writes the list durably to manifest.json and
// signs it beside it; then adds patches from the previous version (patches.h). The manifest's
// sequence follows the one already there (see nextFreshness). Throws UpdateError: disk when a file
// cannot be read or the manifest written; other for an entry that cannot be published (a symbolic
// link or special file, or a name that the manifest refuses), an unusable key or one the channel's
// newest key statement does not list. Nothing is written then.
PublishReport publishFolder(const PublishRequest& request);

}  // namespace kaldra::update
