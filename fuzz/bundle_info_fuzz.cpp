// A bundle's Info.plist, XML or binary: any bytes give no identity or an identity,
// never a crash.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "swap/bundle_identity.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace fs = std::filesystem;
  static const fs::path bundle =
      fs::temp_directory_path() / ("fuzz-bundle-" + std::to_string(getpid()) + ".app");
  fs::create_directories(bundle / "Contents");
  std::ofstream(bundle / "Contents/Info.plist", std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  kaldra::bundleInfo(bundle);
  return 0;
}
