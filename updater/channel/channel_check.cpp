#include "updater/channel/channel_check.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "updater/base/failure.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunker.h"
#include "updater/channel/freshness.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/manifest.h"
#include "updater/channel/manifest_fetch.h"
#include "updater/net/transfer_pool.h"

namespace kaldra::update {

namespace {

constexpr std::int64_t kWarnAhead = 7 * 86400;

// What an object must be: bytes whose SHA-256 is `sha256`, or a chunk as the store holds
// it; `size` bounds what is read of it.
struct Expected {
  std::uint64_t size = 0;
  std::string sha256;
  std::optional<ChunkRef> chunk;
};

class Checker {
 public:
  Checker(std::string channel, const NetworkSettings& settings, ChannelCheck& report)
      : channel_(std::move(channel)), transfers_(settings), report_(report) {}

  // Fetches the object at `path` and compares it; returns its bytes when `keep` and it is
  // right.
  std::optional<std::string> check(const std::string& path, const Expected& expected,
                                   bool keep = false) {
    auto transfer = transfers_.take();
    std::string bytes;
    Sha256 digest;
    std::uint64_t size = 0;
    const bool inMemory = keep || expected.chunk;
    try {
      transfer->fetch(fileUrl(channel_, path), [&](std::string_view piece) {
        size += piece.size();
        if (size > expected.size + kMaxChunk) throw UpdateError(FailureKind::integrity, "");
        if (inMemory)
          bytes.append(piece);
        else
          digest.update(piece);
      });
    } catch (const TransferError& error) {
      transfers_.give(std::move(transfer));
      problem(error.missing() ? "missing: " + path : "unreachable: " + path + ": " + error.what());
      return std::nullopt;
    } catch (const UpdateError&) {
      // Longer than it can be: read no further.
      transfer.reset();
      problem("damaged: " + path + ": longer than " + std::to_string(expected.size) + " bytes");
      return std::nullopt;
    }
    transfers_.give(std::move(transfer));
    {
      std::lock_guard lock(mutex_);
      ++report_.objects;
    }
    bool right = expected.chunk
                     ? !unpackChunk(*expected.chunk, bytes).empty()
                     : (inMemory ? sha256Hex(bytes) : digest.finishHex()) == expected.sha256;
    if (!right) {
      problem("damaged: " + path + ": not its name's bytes");
      return std::nullopt;
    }
    return keep ? std::optional(std::move(bytes)) : std::nullopt;
  }

 private:
  void problem(const std::string& line) {
    std::lock_guard lock(mutex_);
    report_.problems.push_back(line);
  }

  std::string channel_;
  TransferPool transfers_;
  ChannelCheck& report_;
  std::mutex mutex_;
};

}  // namespace

ChannelCheck checkChannel(const std::string& channel, const NetworkSettings& settings,
                          unsigned threads, std::int64_t now) {
  ChannelCheck report;
  Manifest manifest;
  {
    Transfer transfer(settings);
    auto deadline = metadataDeadline(settings);
    std::string newestText;
    auto head =
        newestKeys(transfer, channel, settings, deadline, builtInStatement(), "", newestText);
    report.keys = head.number;
    manifest = parseManifest(fetchSignedManifest(transfer, channel, settings, deadline, head));
    requirePublishedUnder(head, manifest.freshness.keys, "the manifest");
  }
  report.version = manifest.version;
  report.files = manifest.files.size();
  report.expires = manifest.freshness.expires;
  if (report.expires && *report.expires <= now)
    report.problems.push_back("expired: manifest.json expired on " + utcDate(*report.expires) +
                              "; publish again");
  else if (report.expires && *report.expires - now < kWarnAhead)
    report.warnings.push_back("manifest.json expires on " + utcDate(*report.expires) +
                              ", within 7 days: publish again before then");

  // Lists first: they name the chunks. Every other object once, however many files share it.
  Checker checker(channel, settings, report);
  std::vector<const ManifestFile*> chunked;
  std::map<std::string, Expected> objects;
  for (const auto& file : manifest.files) {
    if (file.chunks.empty()) {
      objects[file.path] = {file.size, file.sha256};
      continue;
    }
    chunked.push_back(&file);
    if (storedWhole(file)) objects[fileObjectPath(file.sha256)] = {file.size, file.sha256};
  }
  std::vector<std::optional<std::string>> lists(chunked.size());
  parallelFor(chunked.size(), threads, [&](std::size_t i) {
    const auto& file = *chunked[i];
    lists[i] =
        checker.check(chunkListPath(file.chunks), {chunkListLimit(file.size), file.chunks}, true);
  });
  for (std::size_t i = 0; i < chunked.size(); ++i) {
    if (!lists[i]) continue;
    try {
      for (const auto& chunk : parseChunkList(*lists[i]))
        objects[chunkObjectPath(chunk)] = {chunk.size, chunk.sha256, chunk};
    } catch (const UpdateError& error) {
      report.problems.push_back("damaged: " + chunkListPath(chunked[i]->chunks) + ": " +
                                error.what());
    }
  }
  std::vector<const std::pair<const std::string, Expected>*> all;
  for (const auto& entry : objects) all.push_back(&entry);
  parallelFor(all.size(), threads,
              [&](std::size_t i) { checker.check(all[i]->first, all[i]->second); });
  std::sort(report.problems.begin(), report.problems.end());
  return report;
}

}  // namespace kaldra::update
