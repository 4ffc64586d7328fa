// Any bytes as the answer of "xplat-check" and as the event stream of "xplat-fetch":
// the readers never crash, and a report holds nothing longer than the input.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "selfupdate/xplat_answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (auto result = parseCheckResult(bytes)) fillPlaceholders("{new} {old} {min}", *result);
  FetchReport report;
  int progress = 0;
  auto handlers = report.handlers([&](const updater::Event& event) {
    if (!event.is_object()) __builtin_trap();
    ++progress;
  });
  std::size_t offset = 0;
  updater::readEventStream(
      [&](char* buffer, std::size_t room) -> long {
        std::size_t n = std::min(room, bytes.size() - offset);
        std::memcpy(buffer, bytes.data() + offset, n);
        offset += n;
        return static_cast<long>(n);
      },
      handlers, 256);
  if (report.path.size() > bytes.size() || report.error.size() > bytes.size()) __builtin_trap();
  return 0;
}
