// A file's chunk list from the channel: any bytes are refused with the tool's error, or
// give chunks within the size limits that read back as the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunker.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    auto chunks = parseChunkList(text);
    for (const auto& chunk : chunks)
      if (chunk.size == 0 || chunk.size > kMaxChunk || chunk.sha256.size() != 64) __builtin_trap();
    if (chunkListText(chunks) != text) __builtin_trap();
  } catch (const UpdateError&) {
  }
  return 0;
}
