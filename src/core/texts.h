// Everything the player reads is looked up by key: the table the updater tool delivers
// for the chosen language, then the built-in texts, then the key itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/config.h"

namespace kaldra {

// The text for `key` in the chosen language. Never fails.
std::string T(std::string_view key);

// The built-in texts: eight languages, the five keys the launcher needs when the
// updater tool cannot deliver its table.
const std::map<std::string, TextTable, std::less<>>& fallbackTexts();

// A text table from the tool's output: a JSON object whose values are all strings.
// Anything else is rejected whole.
std::optional<TextTable> parseTextTable(std::string_view bytes);

// Starts the updater tool's "texts" command early, so that it runs while the
// application comes up; loadTextTable collects it.
void startTextTableLoad();

// Takes the table of the updater tool's "texts" command (started now, or earlier by
// startTextTableLoad) into `cfg.texts`; leaves the texts empty, silently, when the tool
// cannot deliver. Blocks until the tool ends.
void loadTextTable();

}  // namespace kaldra
