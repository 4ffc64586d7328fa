#include "game/pickup_scan_code.h"

#include <gtest/gtest.h>

#include <functional>

namespace kaldra {
namespace {

using platform::KeyboardFacts;
using platform::TranslatedKey;
using Change = std::function<void(KeyboardFacts&)>;

Change sectionKey(std::optional<TranslatedKey> key) {
  return [key](KeyboardFacts& f) { f.currentLayout->sectionKey = key; };
}
Change layoutID(std::optional<std::string> id) {
  return [id](KeyboardFacts& f) { f.currentLayout->id = id; };
}

// Each row changes one fact of the one keyboard with a code: ANSI, Austrian, "^" key.
TEST(PickupScanCode, OnlyTheAustrianAnsiLayoutWithACircumflexSectionKeyGives86) {
  const struct {
    const char* name;
    Change change;
    std::optional<std::string> code;
  } cases[] = {
      {"as is", [](auto&) {}, "86"},
      {"40 bytes of key data", [](auto& f) { f.currentLayout->dataLength = 40; }, "86"},
      {"39 bytes of key data", [](auto& f) { f.currentLayout->dataLength = 39; }, std::nullopt},
      {"no data length", [](auto& f) { f.currentLayout->dataLength.reset(); }, std::nullopt},
      {"no data bytes", [](auto& f) { f.currentLayout->dataHasBytes = false; }, std::nullopt},
      {"no layout", [](auto& f) { f.currentLayout.reset(); }, std::nullopt},
      {"ISO", [](auto& f) { f.layoutType = platform::kIsoLayoutType; }, std::nullopt},
      {"no layout id", layoutID(std::nullopt), std::nullopt},
      {"German", layoutID("com.apple.keylayout.German"), std::nullopt},
      {"lower case", layoutID("com.apple.keylayout.austrian"), std::nullopt},
      {"other key", sectionKey(TranslatedKey{0, 1, u'<'}), std::nullopt},
      {"two units", sectionKey(TranslatedKey{0, 2, u'^'}), std::nullopt},
      {"failed", sectionKey(TranslatedKey{-25341, 1, u'^'}), std::nullopt},
      {"untranslated", sectionKey(std::nullopt), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KeyboardFacts facts{
        .layoutType = platform::kAnsiLayoutType,
        .currentLayout = platform::KeyboardLayout{
            .id = "com.apple.keylayout.Austrian",
            .dataLength = 4096,
            .dataHasBytes = true,
            .sectionKey = TranslatedKey{.status = 0, .length = 1, .firstUnit = u'^'}}};
    c.change(facts);
    EXPECT_EQ(pickupScanCodeFor(facts), c.code);
  }
  EXPECT_EQ(macPickupScanCode(), std::nullopt) << "this system reports no keyboard facts";
}

}  // namespace
}  // namespace kaldra
