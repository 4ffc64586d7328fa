#include "game/pickup_scan_code.h"

namespace kaldra {

namespace {

constexpr std::string_view kAustrianLayout = "com.apple.keylayout.Austrian";
constexpr long kMinLayoutDataLength = 40;  // smaller data cannot hold a key layout
constexpr char16_t kCircumflex = u'^';

}  // namespace

std::optional<std::string> pickupScanCodeFor(const platform::KeyboardFacts& facts) {
  if (facts.layoutType != platform::kAnsiLayoutType) return std::nullopt;
  if (!facts.currentLayout) return std::nullopt;
  const platform::KeyboardLayout& layout = *facts.currentLayout;
  if (!layout.id || !layout.dataLength) return std::nullopt;
  if (*layout.id != kAustrianLayout) return std::nullopt;
  if (*layout.dataLength < kMinLayoutDataLength || !layout.dataHasBytes) return std::nullopt;
  const auto& key = layout.sectionKey;
  if (!key || key->status != 0 || key->length != 1) return std::nullopt;
  if (key->firstUnit != kCircumflex) return std::nullopt;
  return "86";
}

std::optional<std::string> macPickupScanCode() {
  auto facts = platform::keyboardFacts();
  if (!facts) return std::nullopt;
  return pickupScanCodeFor(*facts);
}

}  // namespace kaldra
