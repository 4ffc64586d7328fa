// A file's chunk list: its chunks in order, each named by the SHA-256 of its bytes, and
// how the chunk is stored. The list itself is an object of the channel named by its own
// SHA-256, which the signed manifest gives for the file.
//
//   kaldra-chunks 1
//   9f86d081884c7d65...  49152 z      (zstd-compressed in the store)
//   2c26b46b68ffc68f...  16384 -      (stored as it is)
//
// Store layout in the channel folder: "kaldra-store/chunks/9f/9f86d0...[.zst]",
// "kaldra-store/lists/2c/2c26b4..." and each file whole, named by its SHA-256, under
// "kaldra-store/files/e3/e3b0c4...".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra::update {

struct ChunkRef {
  std::string sha256;  // of the chunk's own (uncompressed) bytes
  std::uint32_t size = 0;
  bool compressed = false;

  bool operator==(const ChunkRef&) const = default;
};

std::string chunkListText(const std::vector<ChunkRef>& chunks);

// Throws UpdateError (manifest) naming the first fault: another header, a malformed line or
// digest, a size of 0 or above the largest chunk.
std::vector<ChunkRef> parseChunkList(std::string_view text);

// The greatest length of a genuine list of a file of `size` bytes: a line for each chunk at
// the smallest size, and the slack of a last short one. A list served longer is no list.
std::size_t chunkListLimit(std::uint64_t size);

// The chunk's own bytes, from what the store holds (decompressed where it is compressed);
// empty when they are not the chunk's.
std::string unpackChunk(const ChunkRef& chunk, std::string stored);
// Writes the chunk's `chunk.size` bytes from what the store holds to `out`; false when they
// are not that many. Their digest is left to the caller.
bool unpackChunkInto(const ChunkRef& chunk, std::string_view stored, char* out);

// The store's folder in the channel: the publisher's game files are never taken from it.
inline constexpr std::string_view kStoreFolder = "kaldra-store";

// Paths in the channel folder.
std::string chunkObjectPath(const ChunkRef& chunk);
std::string chunkListPath(std::string_view sha256);
std::string fileObjectPath(std::string_view sha256);

}  // namespace kaldra::update
