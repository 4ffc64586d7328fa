#include "updater/channel/chunk_list.h"

#include <zstd.h>

#include <charconv>
#include <cstring>

#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunker.h"
#include "updater/channel/manifest.h"

namespace kaldra::update {

namespace {

constexpr std::string_view kHeader = "kaldra-chunks 1\n";

[[noreturn]] void malformed(std::size_t line, const std::string& why) {
  throw UpdateError(FailureKind::manifest, "chunk list line " + std::to_string(line) + ": " + why);
}

std::string objectPath(std::string_view kind, std::string_view sha256) {
  return std::string(kStoreFolder) + "/" + std::string(kind) + "/" +
         std::string(sha256.substr(0, 2)) + "/" + std::string(sha256);
}

}  // namespace

std::string chunkListText(const std::vector<ChunkRef>& chunks) {
  std::string text(kHeader);
  text.reserve(kHeader.size() + chunks.size() * 76);
  for (const auto& chunk : chunks)
    text += chunk.sha256 + " " + std::to_string(chunk.size) + (chunk.compressed ? " z\n" : " -\n");
  return text;
}

std::vector<ChunkRef> parseChunkList(std::string_view text) {
  if (!text.starts_with(kHeader)) malformed(1, "not a chunk list");
  text.remove_prefix(kHeader.size());
  std::vector<ChunkRef> chunks;
  for (std::size_t line = 2; !text.empty(); ++line) {
    auto end = text.find('\n');
    if (end == std::string_view::npos) malformed(line, "no line feed");
    std::string_view entry = text.substr(0, end);
    text.remove_prefix(end + 1);
    // "<64 hex> <size> <z|->"
    if (entry.size() < 68 || entry[64] != ' ' || entry[entry.size() - 2] != ' ')
      malformed(line, "not \"digest size z|-\"");
    ChunkRef chunk{.sha256 = lowerHexDigest(entry.substr(0, 64))};
    if (chunk.sha256.empty() || chunk.sha256 != entry.substr(0, 64))
      malformed(line, "not a lower-case SHA-256 digest");
    std::string_view size = entry.substr(65, entry.size() - 67);
    auto [rest, error] = std::from_chars(size.data(), size.data() + size.size(), chunk.size);
    if (error != std::errc() || rest != size.data() + size.size() || size.starts_with('0'))
      malformed(line, "not a size");
    if (chunk.size > kMaxChunk) malformed(line, "larger than the largest chunk");
    char form = entry.back();
    if (form != 'z' && form != '-') malformed(line, "neither z nor -");
    chunk.compressed = form == 'z';
    chunks.push_back(std::move(chunk));
  }
  return chunks;
}

std::string chunkObjectPath(const ChunkRef& chunk) {
  return objectPath("chunks", chunk.sha256) + (chunk.compressed ? ".zst" : "");
}

std::string chunkListPath(std::string_view sha256) {
  return objectPath("lists", sha256);
}

std::string fileObjectPath(std::string_view sha256) {
  return objectPath("files", sha256);
}

std::size_t chunkListLimit(std::uint64_t size) {
  constexpr std::size_t kHeader = 64, kLine = 64 + 1 + 10 + 3;
  return kHeader + (size / kMinChunk + 2) * kLine;
}

std::string unpackChunk(const ChunkRef& chunk, std::string stored) {
  if (chunk.compressed) {
    std::string bytes(chunk.size, '\0');
    if (!unpackChunkInto(chunk, stored, bytes.data())) return {};
    stored = std::move(bytes);
  }
  if (stored.size() != chunk.size || sha256Hex(stored) != chunk.sha256) return {};
  return stored;
}

bool unpackChunkInto(const ChunkRef& chunk, std::string_view stored, char* out) {
  if (!chunk.compressed) {
    if (stored.size() != chunk.size) return false;
    std::memcpy(out, stored.data(), stored.size());
    return true;
  }
  // An error is a value far above any chunk's size.
  return ZSTD_decompress(out, chunk.size, stored.data(), stored.size()) == chunk.size;
}

}  // namespace kaldra::update
