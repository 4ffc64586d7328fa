#include "game/pickup_scan_code.h"

#include <gtest/gtest.h>

#include <functional>

namespace kaldra {
namespace {

using platform::KeyboardFacts;

// An ANSI keyboard with the Austrian layout whose section key shows "^".
KeyboardFacts austrianAnsi() {
  return {.layoutType = platform::kAnsiLayoutType,
          .currentLayout = platform::KeyboardLayout{
              .id = "com.apple.keylayout.Austrian",
              .dataLength = 4096,
              .dataHasBytes = true,
              .sectionKey = platform::TranslatedKey{.status = 0, .length = 1, .firstUnit = u'^'}}};
}

// Each row changes one fact of the one keyboard that gives the scan code.
TEST(PickupScanCode, OnlyTheAustrianAnsiLayoutWithACircumflexSectionKeyGives86) {
  using platform::TranslatedKey;
  const struct {
    const char* name;
    std::function<void(KeyboardFacts&)> change;
    std::optional<std::string> code;
  } cases[] = {
      {"as is", [](auto&) {}, "86"},
      {"40 bytes of key data", [](auto& f) { f.currentLayout->dataLength = 40; }, "86"},
      {"39 bytes of key data", [](auto& f) { f.currentLayout->dataLength = 39; }, std::nullopt},
      {"no data length", [](auto& f) { f.currentLayout->dataLength.reset(); }, std::nullopt},
      {"no data bytes", [](auto& f) { f.currentLayout->dataHasBytes = false; }, std::nullopt},
      {"no layout id", [](auto& f) { f.currentLayout->id.reset(); }, std::nullopt},
      {"no layout", [](auto& f) { f.currentLayout.reset(); }, std::nullopt},
      {"ISO", [](auto& f) { f.layoutType = platform::kIsoLayoutType; }, std::nullopt},
      {"German", [](auto& f) { f.currentLayout->id = "com.apple.keylayout.German"; }, std::nullopt},
      {"lower case", [](auto& f) { f.currentLayout->id = "com.apple.keylayout.austrian"; },
       std::nullopt},
      {"other key",
       [](auto& f) {
         f.currentLayout->sectionKey = TranslatedKey{0, 1, u'<'};
       },
       std::nullopt},
      {"two units",
       [](auto& f) {
         f.currentLayout->sectionKey = TranslatedKey{0, 2, u'^'};
       },
       std::nullopt},
      {"failed",
       [](auto& f) {
         f.currentLayout->sectionKey = TranslatedKey{-25341, 1, u'^'};
       },
       std::nullopt},
      {"untranslated", [](auto& f) { f.currentLayout->sectionKey.reset(); }, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    KeyboardFacts facts = austrianAnsi();
    c.change(facts);
    EXPECT_EQ(pickupScanCodeFor(facts), c.code);
  }
  EXPECT_EQ(macPickupScanCode(), std::nullopt) << "this system reports no keyboard facts";
}

}  // namespace
}  // namespace kaldra
