#include "updater/channel/chunk_store.h"

#include <fcntl.h>
#include <unistd.h>
#include <zstd.h>

#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "platform/spawn.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunker.h"

namespace kaldra::update {

namespace {

constexpr int kZstdLevel = 3;

// A new name beside `path`, for an object written before it is linked into place.
std::filesystem::path temporaryBeside(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  makeDirectories(path.parent_path());
  return path.parent_path() /
         (".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)));
}

// Links `temporary` to `path` unless something is there already (a link never replaces an
// entry), and removes the temporary name.
void linkIntoPlace(const std::filesystem::path& temporary, const std::filesystem::path& path) {
  int linked = ::link(temporary.c_str(), path.c_str()) == 0 ? 0 : errno;
  ::unlink(temporary.c_str());
  if (linked != 0 && linked != EEXIST) throwDiskError("cannot add " + path.string(), linked);
}

// A copy, not a link: the publisher may change the game file in place later. Checked, as
// it may have changed since it was cut.
void addFileObject(const std::filesystem::path& file, const std::filesystem::path& path,
                   const std::string& sha256) {
  if (std::filesystem::exists(path)) return;
  auto temporary = temporaryBeside(path);
  std::error_code error;
  std::filesystem::copy_file(file, temporary, error);
  if (!error && hashFile(temporary).sha256 != sha256)
    error = std::make_error_code(std::errc::io_error);
  if (error) {
    ::unlink(temporary.c_str());
    throwDiskError("cannot copy " + file.string() + " into the store (changed meanwhile?)",
                   error.value());
  }
  linkIntoPlace(temporary, path);
}

class Compressor {
 public:
  Compressor() : context_(ZSTD_createCCtx(), ZSTD_freeCCtx) {}
  // The compressed bytes, or nothing when they would not be fewer.
  bool compress(std::string_view bytes, std::string& out) {
    out.resize(ZSTD_compressBound(bytes.size()));
    std::size_t size = ZSTD_compressCCtx(context_.get(), out.data(), out.size(), bytes.data(),
                                         bytes.size(), kZstdLevel);
    if (ZSTD_isError(size) || size >= bytes.size()) return false;
    out.resize(size);
    return true;
  }

 private:
  std::unique_ptr<ZSTD_CCtx, std::size_t (*)(ZSTD_CCtx*)> context_;
};

}  // namespace

void addStoreObject(const std::filesystem::path& path, std::string_view bytes) {
  // Unnamed until it is whole, where the file system allows: one name fewer to add and remove,
  // and nothing to leave behind.
  const auto folder = path.parent_path();
  auto unnamed = [&] { return ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644); };
  platform::UniqueFd file{unnamed()};
  if (file.get() < 0 && errno == ENOENT) {
    makeDirectories(folder);
    file.reset(unnamed());
  }
  if (file.get() >= 0) {
    if (!writeAll(file.get(), bytes)) throwDiskError("cannot write " + path.string(), errno);
    auto self = "/proc/self/fd/" + std::to_string(file.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
        errno == EEXIST)
      return;
  }
  auto temporary = temporaryBeside(path);
  {
    platform::UniqueFd out{
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (out.get() < 0) throwDiskError("cannot create " + temporary.string(), errno);
    if (!writeAll(out.get(), bytes)) {
      int error = errno;
      ::unlink(temporary.c_str());
      throwDiskError("cannot write " + temporary.string(), error);
    }
  }
  linkIntoPlace(temporary, path);
}

ChunkStore::Stored ChunkStore::storeFile(const std::filesystem::path& file, bool dryRun,
                                         const std::function<void(std::uint64_t)>& onChunk) {
  platform::UniqueFd in{::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW)};
  if (in.get() < 0) throwDiskError("cannot open " + file.string(), errno);
  // One context a thread for all its files: a new one faults in and clears megabytes of
  // tables, dear for a small file.
  thread_local Compressor compressor;
  thread_local std::string compressed;
  // The whole file is hashed on a thread of its own once it has a second chunk: a file of one
  // chunk, as most small files are, has that chunk's digest, and needs no thread.
  std::optional<BackgroundSha256> whole;
  std::string first;
  Stored stored;
  // Adds an object the store lacks, or only counts it in a dry run.
  auto add = [&](const std::filesystem::path& path, std::uint64_t size, const auto& write) {
    if (std::filesystem::exists(path)) return;
    ++stored.addedObjects;
    stored.addedBytes += size;
    if (!dryRun) write();
  };
  auto store = [&](std::string_view chunk) {
    if (stored.chunks.size() == 1) whole.emplace().update(first);
    if (whole)
      whole->update(chunk);
    else
      first = chunk;
    stored.size += chunk.size();
    ChunkRef ref{.sha256 = sha256Hex(chunk), .size = static_cast<std::uint32_t>(chunk.size())};
    auto raw = channel_ / chunkObjectPath(ref);
    ref.compressed = true;
    auto packed = channel_ / chunkObjectPath(ref);
    bool packedThere = std::filesystem::exists(packed);
    ref.compressed =
        !std::filesystem::exists(raw) && (packedThere || compressor.compress(chunk, compressed));
    std::uint64_t bytes = !ref.compressed ? chunk.size()
                          : packedThere   ? std::filesystem::file_size(packed)
                                          : compressed.size();
    add(ref.compressed ? packed : raw, bytes, [&] {
      addStoreObject(ref.compressed ? packed : raw, ref.compressed ? compressed : chunk);
    });
    stored.storedBytes += bytes;
    stored.chunkBytes.push_back(bytes);
    stored.chunks.push_back(std::move(ref));
    onChunk(chunk.size());
  };

  if (!forEachChunk(in.get(), [&](std::string_view chunk, std::uint64_t) { store(chunk); }))
    throwDiskError("cannot read " + file.string(), errno);
  std::string list = chunkListText(stored.chunks);
  stored.list = sha256Hex(list);
  stored.listBytes = list.size();
  stored.sha256 = whole                   ? whole->finishHex()
                  : stored.chunks.empty() ? sha256Hex("")
                                          : stored.chunks[0].sha256;
  add(channel_ / chunkListPath(stored.list), list.size(),
      [&] { addStoreObject(channel_ / chunkListPath(stored.list), list); });
  if (stored.storedBytes >= stored.size) {
    auto copy = channel_ / fileObjectPath(stored.sha256);
    add(copy, stored.size, [&] { addFileObject(file, copy, stored.sha256); });
  }
  return stored;
}

ChunkStore::Pruned ChunkStore::prune(const std::vector<Manifest>& kept, bool dryRun,
                                     const std::vector<std::string>& alsoKept) {
  std::set<std::string> named(alsoKept.begin(), alsoKept.end());
  for (const auto& manifest : kept)
    for (const auto& file : manifest.files) {
      if (file.chunks.empty()) continue;
      auto list = readFile(channel_ / chunkListPath(file.chunks));
      if (!list || sha256Hex(*list) != file.chunks)
        throw UpdateError(FailureKind::manifest,
                          "the chunk list of " + file.path + " is missing or damaged");
      for (const auto& chunk : parseChunkList(*list)) named.insert(chunkObjectPath(chunk));
      named.insert(chunkListPath(file.chunks));
      named.insert(fileObjectPath(file.sha256));
    }
  Pruned pruned;
  std::error_code error;
  std::filesystem::recursive_directory_iterator it(channel_ / kStoreFolder, error), end;
  for (; !error && it != end; it.increment(error)) {
    auto path = it->path().lexically_relative(channel_).generic_string();
    // A publish may be writing beside: its objects are not yet named.
    std::error_code unreadable;
    if (!it->is_regular_file(unreadable) || it->path().filename().string().starts_with(".tmp-") ||
        named.contains(path))
      continue;
    ++pruned.objects;
    pruned.bytes += it->file_size(unreadable);
    if (!dryRun && ::unlink(it->path().c_str()) != 0)
      throwDiskError("cannot remove " + it->path().string(), errno);
  }
  if (error && error != std::errc::no_such_file_or_directory)
    throwDiskError("cannot list " + (channel_ / kStoreFolder).string(), error.value());
  return pruned;
}

void ChunkStore::sync() {
  platform::UniqueFd folder{::open(channel_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  if (folder.get() < 0 || ::syncfs(folder.get()) != 0)
    throwDiskError("cannot flush " + channel_.string(), errno);
}

}  // namespace kaldra::update
