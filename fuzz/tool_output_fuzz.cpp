// A tool's output, whatever its bytes, decodes to valid UTF-8 and trims without reading
// past its end.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "proc/run_tool.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text = kaldra::decodeUtf8Lossy({reinterpret_cast<const char*>(data), size});
  if (kaldra::decodeUtf8Lossy(text) != text) __builtin_trap();  // valid text passes unchanged
  std::string trimmed = kaldra::trimWhitespace(text);
  if (trimmed.size() > text.size()) __builtin_trap();
  return 0;
}
