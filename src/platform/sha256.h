// The system's SHA-256, for the few digests the launcher takes itself (a downloaded disk
// image). It is loaded when first used: its library costs every start time before the
// window shows, and most starts never take a digest.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace kaldra::platform {

// Fills the buffer with the next bytes to hash and gives their number, 0 at the end.
using ByteSource = std::function<std::size_t(unsigned char* buffer, std::size_t size)>;

// The 64 lower-case hexadecimal digits of the SHA-256 of every byte `read` gives; nothing
// when the system's implementation cannot be loaded. Any thread.
std::optional<std::string> sha256Hex(const ByteSource& read);

}  // namespace kaldra::platform
