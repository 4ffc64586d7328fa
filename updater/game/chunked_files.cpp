#include "updater/game/chunked_files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zstd.h>

#include <algorithm>
#include <cerrno>
#include <set>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/parallel.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunker.h"
#include "updater/channel/patches.h"
#include "updater/game/game_folder.h"
#include "updater/game/game_tree.h"
#include "updater/game/partial_file.h"
#include "updater/net/metadata_fetch.h"

namespace kaldra::update {

namespace {

// Lists in flight at once.
constexpr unsigned kParallelLists = 8;
// Chunks a file's build holds at a time, beyond the one it writes.
constexpr std::size_t kAhead = 16;

// A chunk whose bytes are not its name's is fetched once more before the update fails.
constexpr int kChunkTries = 2;

[[noreturn]] void damaged(const std::string& what) {
  throw UpdateError(FailureKind::integrity, what);
}

// The whole of an open regular file, mapped for reading (empty when it cannot be).
class MappedFile {
 public:
  explicit MappedFile(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size == 0) return;
    size_ = static_cast<std::size_t>(info.st_size);
    at_ = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (at_ == MAP_FAILED) size_ = 0;
  }
  ~MappedFile() {
    if (at_ != MAP_FAILED) ::munmap(at_, size_);
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  std::string_view bytes() const {
    return at_ == MAP_FAILED ? std::string_view()
                             : std::string_view(static_cast<char*>(at_), size_);
  }

 private:
  void* at_ = MAP_FAILED;
  std::size_t size_ = 0;
};

// Up to `size` bytes at `offset`; a read that fails gives what no chunk is.
std::string bytesAt(int fd, std::uint64_t offset, std::size_t size) {
  std::string bytes;
  if (!readAt(fd, offset, size, bytes)) return {};
  return bytes;
}

}  // namespace

ChunkedFiles::ChunkedFiles(std::filesystem::path root, std::string channel,
                           const NetworkSettings& settings, TransferPool& transfers)
    : root_(std::move(root)),
      channel_(std::move(channel)),
      settings_(settings),
      transfers_(transfers) {}

std::vector<ChunkRef> ChunkedFiles::fetchList(const ManifestFile& file) {
  // Most small files are one chunk, the file itself: a list that says so needs no request
  // when it has the digest the manifest names.
  if (file.stored && file.size > 0 && file.size <= kMaxChunk) {
    std::vector<ChunkRef> whole{{.sha256 = file.sha256,
                                 .size = static_cast<std::uint32_t>(file.size),
                                 .compressed = *file.stored < file.size}};
    if (sha256Hex(chunkListText(whole)) == file.chunks) return whole;
  }
  auto transfer = transfers_.take();
  std::string text = fetchMetadata(*transfer, fileUrl(channel_, chunkListPath(file.chunks)),
                                   chunkListLimit(file.size), FailureKind::manifest, settings_,
                                   metadataDeadline(settings_));
  transfers_.give(std::move(transfer));
  received_ += text.size();
  if (sha256Hex(text) != file.chunks) damaged(file.path + ": chunk list is not the one listed");
  auto list = parseChunkList(text);
  std::uint64_t total = 0;
  for (const auto& chunk : list) total += chunk.size;
  if (total != file.size)
    damaged(file.path + ": chunk list adds up to " + std::to_string(total) + " bytes, not " +
            std::to_string(file.size));
  return list;
}

void ChunkedFiles::plan(const std::vector<const ManifestFile*>& files,
                        const std::vector<std::string>& otherPaths,
                        const std::map<std::string, PatchUse>& patches) {
  // The files about to be replaced or dropped, and builds an earlier run began. Kept open,
  // so that their chunks can be read even after another file's build has replaced them.
  std::vector<std::filesystem::path> paths;
  for (const ManifestFile* file : files)
    paths.insert(paths.end(), {root_ / file->path, partialDir(root_) / partialName(*file)});
  for (const auto& path : otherPaths) paths.push_back(root_ / path);
  std::vector<int> sources;
  for (const auto& path : paths) {
    // Regular files only: a FIFO in its place would never answer.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) continue;
    openFiles_.emplace_back(fd);
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) sources.push_back(fd);
  }

  // A file with a patch from one here is made with it, without its list: a patch refers to
  // any of the old bytes, and costs less than the chunks nearly always. With nothing here to
  // build from (a fresh install), a file that zstd does not shrink comes whole without its
  // list; the others' lists say what is here and what zstd saves.
  std::vector<const ManifestFile*> listed;
  for (const ManifestFile* file : files) {
    if (auto use = patches.find(file->path); use != patches.end()) {
      patched_.emplace(file->path, use->second);
      bytesToFetch_ += use->second.patch.size;
    } else if (sources.empty() && storedWhole(*file)) {
      whole_.insert(file->path);
    } else {
      listed.push_back(file);
    }
  }
  std::vector<std::vector<ChunkRef>> lists(listed.size());
  parallelFor(listed.size(), kParallelLists,
              [&](std::size_t i) { lists[i] = fetchList(*listed[i]); });
  std::set<std::string> needed;
  for (std::size_t i = 0; i < listed.size(); ++i) {
    for (const auto& chunk : lists[i]) needed.insert(chunk.sha256);
    lists_[listed[i]->path] = std::move(lists[i]);
  }
  for (int fd : sources) index(fd, needed);

  // One request for a file of which nothing is here, rather than one for each chunk.
  for (const auto& [path, chunks] : lists_)
    if (std::ranges::none_of(chunks, [&](const ChunkRef& chunk) {
          return chunk.compressed || found_.contains(chunk.sha256);
        }))
      whole_.insert(path);

  std::set<std::string> counted;
  for (const auto& [path, chunks] : lists_) {
    if (whole_.contains(path)) continue;
    for (const auto& chunk : chunks)
      if (!found_.contains(chunk.sha256) && counted.insert(chunk.sha256).second)
        bytesToFetch_ += chunk.size;
  }
}

void ChunkedFiles::index(int fd, const std::set<std::string>& needed) {
  // A file that cannot be read to its end offers the chunks before the failure.
  forEachChunk(fd, [&](std::string_view chunk, std::uint64_t offset) {
    if (auto digest = sha256Hex(chunk); needed.contains(digest))
      found_.try_emplace(digest, Source{fd, offset});
  });
}

std::string ChunkedFiles::fetchChunk(const ChunkRef& chunk) {
  std::string url = fileUrl(channel_, chunkObjectPath(chunk));
  std::size_t limit = chunk.compressed ? ZSTD_compressBound(chunk.size) : chunk.size;
  auto transfer = transfers_.take();
  for (int attempt = 1, tries = 1;; ++attempt) {
    std::string stored;
    stored.reserve(limit);
    try {
      transfer->fetch(url, [&](std::string_view piece) {
        if (stored.size() + piece.size() > limit) damaged(url + ": longer than its chunk");
        stored.append(piece);
      });
    } catch (const TransferError& error) {
      if (!waitToRetry(error, attempt, settings_)) throw;
      continue;
    }
    received_ += stored.size();
    if (std::string bytes = unpackChunk(chunk, std::move(stored)); !bytes.empty()) {
      transfers_.give(std::move(transfer));
      return bytes;
    }
    if (++tries > kChunkTries) damaged(url + ": the bytes are not the chunk's");
  }
}

// The chunk from the game folder, or nothing when it is not (or no longer) there.
std::string ChunkedFiles::localChunk(const ChunkRef& chunk) const {
  auto source = found_.find(chunk.sha256);
  if (source == found_.end()) return {};
  std::string bytes = bytesAt(source->second.fd, source->second.offset, chunk.size);
  if (bytes.size() != chunk.size || sha256Hex(bytes) != chunk.sha256) return {};
  return bytes;
}

std::string ChunkedFiles::fetchPatchRange(const PatchRef& first, std::uint64_t size) {
  std::string url = fileUrl(channel_, patchObjectPath(first.bundle));
  auto transfer = transfers_.take();
  for (int attempt = 1;; ++attempt) {
    std::string bytes;
    try {
      transfer->fetchRange(url, first.offset, size,
                           [&](std::string_view piece) { bytes.append(piece); });
    } catch (const TransferError& error) {
      if (!waitToRetry(error, attempt, settings_)) throw;
      continue;
    }
    received_ += bytes.size();
    transfers_.give(std::move(transfer));
    return bytes;
  }
}

void ChunkedFiles::fetchPatches(const std::function<void(std::uint64_t)>& onBytes) {
  // Patches that lie one after the other in their bundle come in one request, up to a limit
  // on what is held in memory until the files are built.
  constexpr std::uint64_t kHeld = 256 << 20;
  // One index names one bundle: the patches lie in it by their offsets.
  std::vector<std::pair<const PatchRef*, std::string>> order;  // by offset
  for (const auto& [path, use] : patched_) order.emplace_back(&use.patch, path);
  std::sort(order.begin(), order.end(),
            [](const auto& a, const auto& b) { return a.first->offset < b.first->offset; });
  std::uint64_t held = 0;
  for (std::size_t i = 0; i < order.size();) {
    std::size_t next = i + 1;
    std::uint64_t size = order[i].first->size;
    while (next < order.size() && order[next].first->offset == order[i].first->offset + size &&
           held + size + order[next].first->size <= kHeld)
      size += order[next++].first->size;
    if (held + size > kHeld) break;  // the rest come one by one as their files are built
    std::string bytes;
    try {
      bytes = fetchPatchRange(*order[i].first, size);
    } catch (const UpdateError& error) {
      if (error.kind() == FailureKind::network) throw;
    }
    for (std::uint64_t at = 0; i < next; at += order[i++].first->size) {
      std::string patch =
          bytes.substr(std::min<std::size_t>(at, bytes.size()), order[i].first->size);
      if (sha256Hex(patch) != order[i].first->patch) continue;
      held += patch.size();
      onBytes(patch.size());
      patchBytes_[order[i].second] = std::move(patch);
    }
  }
}

Downloaded ChunkedFiles::buildFromPatch(const ManifestFile& file, const PatchUse& use) {
  const auto& patch = use.patch;
  auto target = root_ / file.path, source = root_ / use.source;
  std::string bytes;
  {
    std::lock_guard lock(patchMutex_);
    if (auto held = patchBytes_.find(file.path); held != patchBytes_.end())
      bytes = std::move(patchBytes_.extract(held).mapped());
  }
  // fetchPatches() checked what it holds; one fetched here is checked here.
  if (bytes.empty() && sha256Hex(bytes = fetchPatchRange(patch, patch.size)) != patch.patch)
    damaged(file.path + ": the patch is not its name's");
  platform::UniqueFd old{::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK)};
  auto made =
      old.get() < 0 ? std::nullopt : applyPatch(MappedFile(old.get()).bytes(), bytes, file.size);
  if (!made || sha256Hex(*made) != file.sha256)
    damaged(file.path + ": the patch from the installed copy does not make the listed file");
  PartialFile partial(partialDir(root_) / partialName(file));
  partial.clear();
  partial.write(*made);
  partial.install(target);
  auto stamp = stampOf(target);
  if (!stamp) throwDiskError("installed file vanished: " + target.string(), ENOENT);
  return {.stamp = *stamp};
}

Downloaded ChunkedFiles::build(const ManifestFile& file, unsigned fetchers,
                               const std::function<void(std::uint64_t)>& onBytes) {
  if (auto patch = patched_.find(file.path); patch != patched_.end()) {
    try {
      return buildFromPatch(file, patch->second);
    } catch (const UpdateError& error) {
      // A patch missing or not what it says: the chunks still are.
      auto* transferError = dynamic_cast<const TransferError*>(&error);
      if (error.kind() != FailureKind::integrity && !(transferError && transferError->missing()))
        throw;
    }
  }
  // A file meant to come whole has no list yet when it comes in chunks after all.
  std::vector<ChunkRef> fetched;
  auto list = lists_.find(file.path);
  const auto& chunks = list != lists_.end() ? list->second : (fetched = fetchList(file));
  auto target = root_ / file.path;
  PartialFile partial(partialDir(root_) / partialName(file));
  Sha256 whole;  // on this thread: the files are built several at once
  // What an earlier run built stays as far as its chunks are whole and right.
  std::size_t next = 0;
  for (std::uint64_t offset = 0; next < chunks.size(); offset += chunks[next++].size) {
    if (offset + chunks[next].size > partial.size()) break;
    std::string bytes = partial.read(offset, chunks[next].size);
    if (sha256Hex(bytes) != chunks[next].sha256) break;
    whole.update(bytes);
  }
  std::uint64_t kept = 0;
  for (std::size_t i = 0; i < next; ++i) kept += chunks[i].size;
  partial.truncate(kept);

  Downloaded result;
  try {
    // Fetched several at once, written in order; the chunks written before a failure stay
    // for the next run. Memory stays within the chunks ahead.
    produceInOrder(
        chunks.size() - next, fetchers, kAhead,
        [&](std::size_t i) {
          const ChunkRef& chunk = chunks[next + i];
          std::string bytes = localChunk(chunk);
          if (bytes.empty()) {
            bytes = fetchChunk(chunk);
            onBytes(chunk.size);
          }
          return bytes;
        },
        [&](std::size_t, std::string& bytes) {
          partial.write(bytes);
          whole.update(bytes);
        });
    if (auto digest = whole.finishHex(); partial.size() != file.size || digest != file.sha256)
      damaged(file.path + ": built from its chunks, SHA-256 " + digest + " instead of " +
              file.sha256);
    partial.install(target);
  } catch (const UpdateError& error) {
    // A build cut short by the network is continued by the next run.
    if (error.kind() != FailureKind::network) partial.discard();
    throw;
  }
  auto stamp = stampOf(target);
  if (!stamp) throwDiskError("installed file vanished: " + target.string(), ENOENT);
  result.stamp = *stamp;
  return result;
}

}  // namespace kaldra::update
