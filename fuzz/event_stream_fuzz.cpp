// Any bytes from the updater tool, in reads of any size: the reader never crashes, hands
// its handlers only objects with a string "type", and frames the same lines whatever
// the read sizes are.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "update/event_stream.h"

namespace {

using namespace kaldra::updater;

std::vector<std::string> readInPieces(std::string_view bytes, std::size_t piece) {
  std::vector<std::string> seen;
  auto note = [&](const Event& event) {
    if (!event.is_object() || !stringMember(event, "type")) __builtin_trap();
    seen.push_back(event.dump());
  };
  std::size_t offset = 0;
  readEventStream(
      [&](char* buffer, std::size_t size) -> long {
        std::size_t n = std::min({size, piece, bytes.size() - offset});
        std::memcpy(buffer, bytes.data() + offset, n);
        offset += n;
        return static_cast<long>(n);
      },
      {{"progress", note}, {"error", note}, {"xplat-file", note}}, 64);
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::size_t piece = data[0] % 16 + 1;
  std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (readInPieces(bytes, piece) != readInPieces(bytes, bytes.size() + 1)) __builtin_trap();
  return 0;
}
