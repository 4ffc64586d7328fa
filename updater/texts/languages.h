// The eight languages the player can choose, and the shape of a translated text.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace kaldra::update {

enum class Language : std::size_t { de, en, tr, pl, ro, es, fr, it };

inline constexpr std::array<std::string_view, 8> kLanguageCodes{"de", "en", "tr", "pl",
                                                                "ro", "es", "fr", "it"};

// The language of a code such as "de"; nothing for a code the tool does not speak.
inline std::optional<Language> parseLanguage(std::string_view code) {
  for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
    if (kLanguageCodes[i] == code) return static_cast<Language>(i);
  }
  return std::nullopt;
}

// One text in every language, in the order of kLanguageCodes.
using Translations = std::array<std::string_view, kLanguageCodes.size()>;

inline std::string_view in(const Translations& texts, Language language) {
  return texts[static_cast<std::size_t>(language)];
}

}  // namespace kaldra::update
