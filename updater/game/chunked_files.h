// Game files that the channel's chunk store describes, brought up to date from what the
// game folder already holds: chunks found in the files being replaced or dropped (a file moved
// to another path included) and in the partial folder (a build an earlier run began) are reused;
// only the others are fetched, several at once, each checked against its name as it arrives. Each
// file is built in order in the partial folder, checked whole by size and SHA-256 and moved
// into place; a build cut short keeps what it had, to be continued.
//
//   ChunkedFiles chunked(root, channel, settings, transfers);
//   chunked.plan(files, dropped);         // lists fetched, local chunks found
//   chunked.fetchWhole(file);             // nothing of it here: fetch it in one piece
//   auto bytes = chunked.bytesToFetch();  // what the store must add
//   chunked.fetchPatches(onBytes);        // the patches plan() chose, in few requests
//   auto done = chunked.build(file, onBytes);  // per file, from several threads at once
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/spawn.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/manifest.h"
#include "updater/channel/patches.h"
#include "updater/game/download.h"
#include "updater/net/network_settings.h"
#include "updater/net/transfer_pool.h"

namespace kaldra::update {

// A patch to make a file with, and the path of the game folder's file it starts from.
struct PatchUse {
  PatchRef patch;
  std::string source;
};

class ChunkedFiles {
 public:
  ChunkedFiles(std::filesystem::path root, std::string channel, const NetworkSettings& settings,
               TransferPool& transfers);

  // Fetches each file's chunk list and checks it against the manifest, and finds the chunks
  // the game folder holds: in the files being replaced, their partial builds, and the files
  // at `otherPaths` (those the new version drops, so that a moved file is not fetched again).
  // A file with one of `patches` (by path) is made with it instead, and from its chunks when
  // that fails. Throws UpdateError.
  void plan(const std::vector<const ManifestFile*>& files,
            const std::vector<std::string>& otherPaths = {},
            const std::map<std::string, PatchUse>& patches = {});

  // Whether `file` is better fetched whole, by its content's name in the store: the game
  // folder holds none of its chunks, and zstd makes none of them smaller. build() still
  // builds it from chunks when the store lacks it whole.
  bool fetchWhole(const ManifestFile& file) const { return whole_.contains(file.path); }

  // Fetches the patches plan() chose, those that lie together in one request; `onBytes`
  // hears of each. A patch that cannot be had is left to its file's build. Throws UpdateError
  // (network).
  void fetchPatches(const std::function<void(std::uint64_t)>& onBytes);

  // Bytes of the chunks that plan() found nowhere in the game folder, of the files that are
  // not fetched whole.
  std::uint64_t bytesToFetch() const { return bytesToFetch_; }
  // Bytes that came over the network so far (compressed as stored), lists included.
  std::uint64_t received() const { return received_; }

  // Builds `file` (one that plan() saw) and moves it into the game folder, whose folders on
  // the way must exist, with up to `fetchers` chunks in flight at once. `onBytes` hears of
  // each fetched chunk's size. A chunk found locally
  // that is no longer what it was is fetched after all. Throws UpdateError; a build cut
  // short by the network keeps its checked beginning in the partial folder.
  Downloaded build(const ManifestFile& file, unsigned fetchers,
                   const std::function<void(std::uint64_t)>& onBytes);

 private:
  struct Source {
    int fd = -1;
    std::uint64_t offset = 0;
  };
  std::vector<ChunkRef> fetchList(const ManifestFile& file);
  void index(int fd, const std::set<std::string>& needed);
  std::string fetchChunk(const ChunkRef& chunk);
  Downloaded buildFromPatch(const ManifestFile& file, const PatchUse& use);
  std::string fetchPatchRange(const PatchRef& first, std::uint64_t size);
  std::string localChunk(const ChunkRef& chunk) const;

  std::filesystem::path root_;
  std::string channel_;
  const NetworkSettings& settings_;
  TransferPool& transfers_;
  std::map<std::string, std::vector<ChunkRef>> lists_;  // by file path
  std::map<std::string, Source> found_;                 // by chunk digest
  std::set<std::string> whole_;                         // paths of files fetched whole
  std::map<std::string, PatchUse> patched_;             // by path: files made with a patch
  std::map<std::string, std::string> patchBytes_;       // by path: patches fetched already
  std::mutex patchMutex_;
  std::uint64_t bytesToFetch_ = 0;
  std::atomic<std::uint64_t> received_{0};
  std::vector<platform::UniqueFd> openFiles_;  // read even once replaced
};

}  // namespace kaldra::update
