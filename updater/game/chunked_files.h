// Game files that the channel's chunk store describes, brought up to date from what the
// game folder already holds: chunks found in the files being replaced and in the partial
// folder are reused; only the others are fetched, several at once, each checked against
// its name as it arrives and kept in the partial folder, so that a run cut short loses
// none. Each file is then built in the partial folder, checked whole by size and SHA-256,
// and moved into place.
//
//   ChunkedFiles chunked(root, channel, settings, transfers);
//   chunked.plan(files);                  // lists fetched, local chunks found
//   chunked.fetchMissing(onBytes);        // bytesToFetch() of chunks, from the store
//   auto done = chunked.build(file);      // per file, from several threads at once
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "updater/channel/chunk_list.h"
#include "updater/channel/manifest.h"
#include "updater/game/download.h"
#include "updater/net/network_settings.h"
#include "updater/net/transfer_pool.h"

namespace kaldra::update {

// The folder in the partial folder where fetched chunks wait, each under its digest.
inline std::filesystem::path chunkDir(const std::filesystem::path& partialDir) {
  return partialDir / "chunks";
}

class ChunkedFiles {
 public:
  ChunkedFiles(std::filesystem::path root, std::string channel, const NetworkSettings& settings,
               TransferPool& transfers);
  ~ChunkedFiles();

  // Fetches each file's chunk list and checks it against the manifest, and finds the chunks
  // the game folder holds. Throws UpdateError.
  void plan(const std::vector<const ManifestFile*>& files);

  // Bytes of the chunks that plan() found nowhere in the game folder.
  std::uint64_t bytesToFetch() const { return bytesToFetch_; }
  // Bytes that came over the network so far (compressed as stored).
  std::uint64_t received() const { return received_; }

  // Fetches those chunks into the partial folder. `onBytes` hears of each chunk's size as
  // it is kept. Throws UpdateError; the chunks kept so far stay for the next run.
  void fetchMissing(const std::function<void(std::uint64_t)>& onBytes);

  // Builds `file` (one that plan() saw) and moves it into the game folder, whose folders on
  // the way must exist. A chunk that is no longer what it was is fetched again (counted in
  // received(), not in the result). Throws UpdateError.
  Downloaded build(const ManifestFile& file);

 private:
  struct Source;
  std::string fetchChunk(Transfer& transfer, const ChunkRef& chunk);
  std::string chunkBytes(const ChunkRef& chunk);

  std::filesystem::path root_;
  std::string channel_;
  const NetworkSettings& settings_;
  TransferPool& transfers_;
  std::map<std::string, std::vector<ChunkRef>> lists_;  // by file path
  std::map<std::string, Source> found_;                 // by chunk digest
  std::vector<ChunkRef> missing_;
  std::uint64_t bytesToFetch_ = 0;
  std::atomic<std::uint64_t> received_{0};
  std::vector<int> openFiles_;  // the files being replaced, read even once replaced
};

}  // namespace kaldra::update
