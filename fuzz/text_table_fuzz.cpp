// The updater tool's text table: any bytes must give a table of strings or nothing.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/texts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto table = kaldra::parseTextTable({reinterpret_cast<const char*>(data), size});
  if (table)
    for (const auto& [key, value] : *table) (void)(key.size() + value.size());
  return 0;
}
