#include "updater/channel/chunker.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <span>

namespace kaldra::update {

namespace {

// 256 fixed random values, one for each byte value. They define where cuts fall: changing
// them would make every chunk of every published file new.
constexpr std::array<std::uint64_t, 256> kGear = [] {
  std::array<std::uint64_t, 256> gear{};
  std::uint64_t state = 0x4b616c6472697468;  // splitmix64
  for (auto& value : gear) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9;
    z = (z ^ (z >> 27)) * 0x94d049bb133111eb;
    value = z ^ (z >> 31);
  }
  return gear;
}();

// Fifteen of the top bits: a cut about every 32 KiB past the minimum, decided by the last
// 64 bytes (a byte's share shifts out of the hash after 64 steps).
constexpr std::uint64_t kCutMask = 0x7fffULL << 49;

}  // namespace

std::size_t chunkLength(const unsigned char* data, std::size_t size) {
  if (size <= kMinChunk) return size;
  std::size_t end = std::min(size, kMaxChunk);
  std::uint64_t hash = 0;
  for (std::size_t i = kMinChunk; i < end; ++i) {
    hash = (hash << 1) + kGear[data[i]];
    if ((hash & kCutMask) == 0) return i + 1;
  }
  return end;
}

bool forEachChunk(int fd, const std::function<void(std::string_view, std::uint64_t)>& chunk) {
  // Left unfilled: zeroing 4 MiB for each of thousands of small files was most of the time
  // a publish took.
  constexpr std::size_t kBufferSize = 4 << 20;
  auto storage = std::make_unique_for_overwrite<unsigned char[]>(kBufferSize);
  std::span<unsigned char> buffer(storage.get(), kBufferSize);
  std::size_t filled = 0;
  std::uint64_t offset = 0;  // of the buffer's start in the file
  for (bool atEnd = false; !atEnd;) {
    while (filled < buffer.size()) {
      ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return false;
      if (n == 0) {
        atEnd = true;
        break;
      }
      filled += static_cast<std::size_t>(n);
    }
    std::size_t at = 0;
    while (filled - at >= kMaxChunk || (atEnd && at < filled)) {
      std::size_t length = chunkLength(buffer.data() + at, filled - at);
      chunk(std::string_view(reinterpret_cast<const char*>(buffer.data() + at), length),
            offset + at);
      at += length;
    }
    std::memmove(buffer.data(), buffer.data() + at, filled - at);
    filled -= at;
    offset += at;
  }
  return true;
}

}  // namespace kaldra::update
