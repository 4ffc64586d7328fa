// What the system tells about the keyboard: the physical keyboard's layout type and the
// current keyboard layout, with the character one key of it shows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kaldra::platform {

// Layout types of physical keyboards, as four-character codes.
inline constexpr std::uint32_t kAnsiLayoutType = 0x414E5349;  // 'ANSI'
inline constexpr std::uint32_t kIsoLayoutType = 0x49534F20;   // 'ISO '
inline constexpr std::uint32_t kJisLayoutType = 0x4A495320;   // 'JIS '

// One key translated through a layout's Unicode key data: the ISO section key (virtual
// key 10) as printed on the key (display action), without modifiers or dead-key
// processing, for the physical keyboard's type, into at most 8 UTF-16 units.
struct TranslatedKey {
  int status = 0;  // 0 on success
  int length = 0;  // UTF-16 units produced
  char16_t firstUnit = 0;
};

struct KeyboardLayout {
  std::optional<std::string> id;            // the input source identifier, when it has one
  std::optional<long> dataLength;           // its Unicode key layout data, when it has any
  bool dataHasBytes = false;                // that data's bytes can be reached
  std::optional<TranslatedKey> sectionKey;  // none when the key was not translated
};

struct KeyboardFacts {
  std::uint32_t layoutType = 0;                 // of the physical keyboard
  std::optional<KeyboardLayout> currentLayout;  // none when there is no current layout
};

// The facts about the keyboard in use, or none on systems without keyboard layouts of
// this kind. Main thread only.
std::optional<KeyboardFacts> keyboardFacts();

}  // namespace kaldra::platform
