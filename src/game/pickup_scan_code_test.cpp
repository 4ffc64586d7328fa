#include "game/pickup_scan_code.h"

#include <gtest/gtest.h>

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

TEST(PickupScanCode, AnsiKeyboardWithAustrianCircumflexGives86) {
  EXPECT_EQ(pickupScanCodeFor(austrianAnsi()), "86");
}

TEST(PickupScanCode, SectionKeyMustGiveExactlyOneCircumflex) {
  auto withKey = [](int status, int length, char16_t unit) {
    KeyboardFacts facts = austrianAnsi();
    facts.currentLayout->sectionKey = platform::TranslatedKey{status, length, unit};
    return pickupScanCodeFor(facts);
  };
  EXPECT_EQ(withKey(0, 1, u'<'), std::nullopt);
  EXPECT_EQ(withKey(0, 1, u'\u00B0'), std::nullopt);  // the shifted section key
  EXPECT_EQ(withKey(0, 2, u'^'), std::nullopt);
  EXPECT_EQ(withKey(0, 0, u'^'), std::nullopt);
  EXPECT_EQ(withKey(-25341, 1, u'^'), std::nullopt);  // translation failed
  KeyboardFacts untranslated = austrianAnsi();
  untranslated.currentLayout->sectionKey.reset();
  EXPECT_EQ(pickupScanCodeFor(untranslated), std::nullopt);
}

TEST(PickupScanCode, IsoAndJisKeyboardsGiveNothing) {
  for (auto type : {platform::kIsoLayoutType, platform::kJisLayoutType, 0u}) {
    KeyboardFacts facts = austrianAnsi();
    facts.layoutType = type;
    EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt) << type;
  }
}

TEST(PickupScanCode, OnlyTheAustrianLayoutCountsExactly) {
  for (const char* id : {"com.apple.keylayout.German", "com.apple.keylayout.SwissGerman",
                         "com.apple.keylayout.austrian", "com.apple.keylayout.Austrian.x",
                         "com.apple.keylayout.Austria", ""}) {
    KeyboardFacts facts = austrianAnsi();
    facts.currentLayout->id = id;
    EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt) << id;
  }
}

TEST(PickupScanCode, LayoutNeedsIdentifierAndAtLeast40BytesOfKeyData) {
  KeyboardFacts facts = austrianAnsi();
  facts.currentLayout->dataLength = 40;
  EXPECT_EQ(pickupScanCodeFor(facts), "86");
  facts.currentLayout->dataLength = 39;
  EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt);
  facts = austrianAnsi();
  facts.currentLayout->dataLength.reset();
  EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt);
  facts = austrianAnsi();
  facts.currentLayout->dataHasBytes = false;
  EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt);
  facts = austrianAnsi();
  facts.currentLayout->id.reset();
  EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt);
  facts = austrianAnsi();
  facts.currentLayout.reset();
  EXPECT_EQ(pickupScanCodeFor(facts), std::nullopt);
}

TEST(PickupScanCode, ThisSystemReportsNoKeyboardFacts) {
  EXPECT_EQ(macPickupScanCode(), std::nullopt);
}

}  // namespace
}  // namespace kaldra
