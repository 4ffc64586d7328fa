// The texts the launcher shows, in all eight languages. They are compiled in, so that
// "texts" answers before the launcher's window appears without touching disk or network.
//
//   std::optional<std::string> json = launcherTextsJson("de");  // {"btn_continue": ...}
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "updater/texts/languages.h"

namespace kaldra::update {

struct TextRow {
  std::string_view key;
  Translations text;
};

// Every key the launcher looks up, each with its text in every language.
std::span<const TextRow> launcherTexts();

// The text of `key` in `language`; empty for a key that is not in the table.
std::string_view launcherText(std::string_view key, Language language);

// The table for a language code as one flat JSON object of strings; nothing for a code
// the tool does not speak.
std::optional<std::string> launcherTextsJson(std::string_view languageCode);

}  // namespace kaldra::update
