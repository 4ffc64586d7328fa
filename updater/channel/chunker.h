// Content-defined chunking: a rolling hash over the content picks the cut points, so an
// insertion or a change moves only the cuts near it and the chunks after it stay the same.
//
//   std::size_t length = chunkLength(buffer, filled);  // the next chunk's length
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>

namespace kaldra::update {

// Chunks are at least kMinChunk long (but the last), at most kMaxChunk, and about 64 KiB
// on average.
inline constexpr std::size_t kMinChunk = 32 << 10;
inline constexpr std::size_t kMaxChunk = 256 << 10;

// The length of the chunk that starts at `data`, of which `size` bytes are at hand: pass
// kMaxChunk bytes, or all that is left of the content. The cut depends only on the bytes
// from the chunk's start, never on those before it.
std::size_t chunkLength(const unsigned char* data, std::size_t size);

// Reads the open file `fd` from its start to its end and hands each chunk to `chunk`, with
// its offset, in order. False, with errno set, when a read fails.
bool forEachChunk(int fd, const std::function<void(std::string_view, std::uint64_t)>& chunk);

}  // namespace kaldra::update
