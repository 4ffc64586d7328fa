// A channel's manifest: any bytes are refused with the tool's error, or give a
// manifest whose every path is safe and which reads back as itself.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/channel/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  try {
    Manifest manifest = parseManifest({reinterpret_cast<const char*>(data), size});
    for (const auto& file : manifest.files)
      if (!pathProblem(file.path).empty()) __builtin_trap();
    if (manifestJson(parseManifest(manifestJson(manifest))) != manifestJson(manifest))
      __builtin_trap();
  } catch (const UpdateError&) {
  }
  return 0;
}
