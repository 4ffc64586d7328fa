// A channel's patch index and a patch's bytes: the index is refused with the tool's error or
// reads back as itself; a patch makes exactly the size asked for, or nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/patches.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    auto patches = parsePatchIndex(bytes);
    if (parsePatchIndex(patchIndexText(patches)) != patches) __builtin_trap();
  } catch (const UpdateError& error) {
    if (error.kind() != FailureKind::manifest) __builtin_trap();
  }
  const std::string_view previous = "the installed file's bytes, the window a patch starts from";
  for (std::uint64_t wanted : {std::uint64_t{0}, std::uint64_t{1}, size * 4 + 64})
    if (auto made = applyPatch(previous, bytes, wanted); made && made->size() != wanted)
      __builtin_trap();
  return 0;
}
