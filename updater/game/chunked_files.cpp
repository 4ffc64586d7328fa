#include "updater/game/chunked_files.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <cerrno>
#include <mutex>
#include <optional>
#include <set>

#include "updater/base/failure.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunker.h"
#include "updater/game/game_folder.h"
#include "updater/game/game_tree.h"
#include "updater/game/partial_file.h"
#include "updater/net/metadata_fetch.h"

namespace kaldra::update {

namespace {

// Chunks in flight at once: enough to hide each request's round trip.
constexpr unsigned kParallelChunks = 8;
constexpr std::size_t kListLimit = 64 << 20;
// A chunk whose bytes are not its name's is fetched once more before the update fails.
constexpr int kChunkTries = 2;

[[noreturn]] void damaged(const std::string& what) {
  throw UpdateError(FailureKind::integrity, what);
}

// Reads `size` bytes at `offset`; fewer when the file is shorter.
std::string readAt(int fd, std::uint64_t offset, std::size_t size) {
  std::string bytes(size, '\0');
  std::size_t got = 0;
  while (got < size) {
    ssize_t n = ::pread(fd, bytes.data() + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  bytes.resize(got);
  return bytes;
}

// Not flushed: a chunk is checked against its name whenever it is used.
void keepChunk(const std::filesystem::path& path, std::string_view bytes) {
  auto temporary = path.string() + ".part";
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd < 0) throwDiskError("cannot create " + temporary, errno);
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      throwDiskError("cannot write " + temporary, error);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (::rename(temporary.c_str(), path.c_str()) != 0)
    throwDiskError("cannot keep " + temporary, errno);
}

std::string readChunkFile(const std::filesystem::path& path, std::size_t size) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return {};
  std::string bytes = readAt(fd, 0, size + 1);
  ::close(fd);
  return bytes;
}

// The chunk's own bytes, from what the store holds; empty when they are not the chunk's.
std::string unpacked(const ChunkRef& chunk, std::string stored) {
  if (chunk.compressed) {
    std::string bytes(chunk.size, '\0');
    std::size_t size = ZSTD_decompress(bytes.data(), bytes.size(), stored.data(), stored.size());
    if (ZSTD_isError(size)) return {};
    bytes.resize(size);
    stored = std::move(bytes);
  }
  return stored.size() == chunk.size && sha256Hex(stored) == chunk.sha256 ? stored : std::string();
}

}  // namespace

// Where a chunk lies in the game folder: in a file being replaced, or kept in the partial
// folder by an earlier run.
struct ChunkedFiles::Source {
  int fd = -1;  // one of openFiles_, or -1 for the partial folder
  std::uint64_t offset = 0;
};

ChunkedFiles::ChunkedFiles(std::filesystem::path root, std::string channel,
                           const NetworkSettings& settings, TransferPool& transfers)
    : root_(std::move(root)),
      channel_(std::move(channel)),
      settings_(settings),
      transfers_(transfers) {}

ChunkedFiles::~ChunkedFiles() {
  for (int fd : openFiles_) ::close(fd);
}

void ChunkedFiles::plan(const std::vector<const ManifestFile*>& files) {
  auto transfer = transfers_.take();
  std::set<std::string> needed;
  for (const ManifestFile* file : files) {
    auto deadline = metadataDeadline(settings_);
    std::string text = fetchMetadata(*transfer, fileUrl(channel_, chunkListPath(file->chunks)),
                                     kListLimit, FailureKind::manifest, settings_, deadline);
    received_ += text.size();
    if (sha256Hex(text) != file->chunks) damaged(file->path + ": chunk list is not the one listed");
    auto chunks = parseChunkList(text);
    std::uint64_t total = 0;
    for (const auto& chunk : chunks) total += chunk.size;
    if (total != file->size)
      damaged(file->path + ": chunk list adds up to " + std::to_string(total) + " bytes, not " +
              std::to_string(file->size));
    for (const auto& chunk : chunks) needed.insert(chunk.sha256);
    lists_[file->path] = std::move(chunks);
  }
  transfers_.give(std::move(transfer));

  // The chunks of the files about to be replaced: read once, and kept open, so that they
  // can be read even after another file's build has replaced them.
  for (const ManifestFile* file : files) {
    int fd = ::open((root_ / file->path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    openFiles_.push_back(fd);
    std::string buffer;
    std::size_t at = 0;
    std::uint64_t offset = 0;  // of buffer[at] in the file
    for (bool atEnd = false; !atEnd || at < buffer.size();) {
      if (!atEnd && buffer.size() - at < kMaxChunk) {
        buffer.erase(0, at);
        at = 0;
        std::string more = readAt(fd, offset + buffer.size(), 4 * kMaxChunk);
        atEnd = more.empty();
        buffer += more;
        continue;
      }
      std::string_view rest = std::string_view(buffer).substr(at);
      auto length = chunkLength(reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
      auto digest = sha256Hex(rest.substr(0, length));
      if (needed.contains(digest)) found_.try_emplace(digest, Source{fd, offset});
      at += length;
      offset += length;
    }
  }
  // Chunks an earlier run fetched, checked when they are used.
  std::error_code error;
  for (std::filesystem::directory_iterator it(chunkDir(partialDir(root_)), error), end;
       !error && it != end; it.increment(error)) {
    auto name = it->path().filename().string();
    if (needed.contains(name)) found_.try_emplace(name, Source{});
  }

  std::set<std::string> listed;
  for (const auto& [path, chunks] : lists_)
    for (const auto& chunk : chunks)
      if (!found_.contains(chunk.sha256) && listed.insert(chunk.sha256).second) {
        missing_.push_back(chunk);
        bytesToFetch_ += chunk.size;
      }
}

std::string ChunkedFiles::fetchChunk(Transfer& transfer, const ChunkRef& chunk) {
  std::string url = fileUrl(channel_, chunkObjectPath(chunk));
  std::size_t limit = chunk.compressed ? ZSTD_compressBound(chunk.size) : chunk.size;
  for (int attempt = 1, tries = 1;; ++attempt) {
    std::string stored;
    try {
      transfer.fetch(url, [&](std::string_view piece) {
        if (stored.size() + piece.size() > limit) damaged(url + ": longer than its chunk");
        stored.append(piece);
      });
    } catch (const TransferError& error) {
      if (!waitToRetry(error, attempt, settings_)) throw;
      continue;
    }
    received_ += stored.size();
    if (std::string bytes = unpacked(chunk, std::move(stored)); !bytes.empty()) return bytes;
    if (++tries > kChunkTries) damaged(url + ": the bytes are not the chunk's");
  }
}

void ChunkedFiles::fetchMissing(const std::function<void(std::uint64_t)>& onBytes) {
  if (missing_.empty()) return;
  auto folder = chunkDir(partialDir(root_));
  makeFoldersInside(root_, folder.lexically_relative(root_).string() + "/");
  std::mutex progress;
  std::optional<TransferError> absent;
  parallelFor(missing_.size(), kParallelChunks, [&](std::size_t i) {
    const ChunkRef& chunk = missing_[i];
    auto transfer = transfers_.take();
    std::string bytes;
    try {
      bytes = fetchChunk(*transfer, chunk);
    } catch (const TransferError& error) {
      // One object the server lacks need not waste the others: they are kept for the next
      // run. Any other failure ends the fetching at once.
      if (!error.missing()) throw;
      std::lock_guard lock(progress);
      if (!absent) absent = error;
      return;
    }
    transfers_.give(std::move(transfer));
    keepChunk(folder / chunk.sha256, bytes);
    std::lock_guard lock(progress);
    onBytes(chunk.size);
  });
  if (absent) throw *absent;
  for (const auto& chunk : missing_) found_.try_emplace(chunk.sha256, Source{});
}

std::string ChunkedFiles::chunkBytes(const ChunkRef& chunk) {
  if (auto source = found_.find(chunk.sha256); source != found_.end()) {
    std::string bytes = source->second.fd < 0
                            ? readChunkFile(chunkDir(partialDir(root_)) / chunk.sha256, chunk.size)
                            : readAt(source->second.fd, source->second.offset, chunk.size);
    if (bytes.size() == chunk.size && sha256Hex(bytes) == chunk.sha256) return bytes;
  }
  // Changed since it was found: fetched once more.
  auto transfer = transfers_.take();
  std::string bytes = fetchChunk(*transfer, chunk);
  transfers_.give(std::move(transfer));
  return bytes;
}

Downloaded ChunkedFiles::build(const ManifestFile& file) {
  auto target = root_ / file.path;
  PartialFile partial(partialDir(root_) / partialName(file));
  partial.clear();
  Downloaded result;
  try {
    BackgroundSha256 whole;
    for (const auto& chunk : lists_.at(file.path)) {
      std::string bytes = chunkBytes(chunk);
      partial.write(bytes);
      whole.update(bytes);
    }
    if (auto digest = whole.finishHex(); partial.size() != file.size || digest != file.sha256)
      damaged(file.path + ": built from its chunks, SHA-256 " + digest + " instead of " +
              file.sha256);
    partial.install(target);
  } catch (const UpdateError&) {
    partial.discard();
    throw;
  }
  auto stamp = stampOf(target);
  if (!stamp) throwDiskError("installed file vanished: " + target.string(), ENOENT);
  result.stamp = *stamp;
  return result;
}

}  // namespace kaldra::update
