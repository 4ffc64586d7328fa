#include "updater/launcher_texts.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <set>

#include "updater/messages.h"

namespace kaldra::update {
namespace {

constexpr std::string_view kPlaceholderKeys[] = {
    "xplat_required_manual",      "xplat_system_too_old",  "xplat_update_available",
    "xplat_update_available_mac", "xplat_update_required", "xplat_start_failed_restored"};

// Every "{...}" in `text`; an unclosed brace counts as the rest of the text.
std::set<std::string> placeholdersIn(std::string_view text) {
  std::set<std::string> found;
  for (auto open = text.find('{'); open != std::string_view::npos;
       open = text.find('{', open + 1)) {
    auto close = text.find('}', open);
    found.emplace(text.substr(open, close == std::string_view::npos ? close : close - open + 1));
  }
  return found;
}

TEST(LauncherTexts, EveryLanguageHasExactlyTheLauncherKeysAsStrings) {
  const std::set<std::string> expected{"btn_continue",
                                       "btn_download",
                                       "btn_later",
                                       "btn_install",
                                       "btn_logs",
                                       "btn_not_now",
                                       "btn_quit",
                                       "btn_retry",
                                       "btn_update_restart",
                                       "err_game_exit",
                                       "err_game_running",
                                       "err_other",
                                       "mac_install_failed",
                                       "mac_install_offer",
                                       "mac_installing",
                                       "mac_other_running",
                                       "prefix_setup",
                                       "starting",
                                       "rosetta_missing",
                                       "rosetta_needed",
                                       "rosetta_wait",
                                       "stage_manifest",
                                       "stage_ready",
                                       "stage_verify",
                                       "xplat_done",
                                       "xplat_failed",
                                       "xplat_start_failed_restored",
                                       "xplat_downloaded",
                                       "xplat_downloading",
                                       "xplat_installing",
                                       "xplat_mac_opened",
                                       "xplat_required_manual",
                                       "xplat_system_too_old",
                                       "xplat_update_available",
                                       "xplat_update_available_mac",
                                       "xplat_update_required"};
  for (auto code : kLanguageCodes) {
    auto json = nlohmann::json::parse(*launcherTextsJson(code));
    ASSERT_TRUE(json.is_object()) << code;
    std::set<std::string> keys;
    for (const auto& [key, value] : json.items()) {
      ASSERT_TRUE(value.is_string()) << code << " " << key;
      EXPECT_FALSE(value.get<std::string>().empty()) << code << " " << key;
      keys.insert(key);
    }
    EXPECT_EQ(keys, expected) << code;
  }
}

TEST(LauncherTexts, UnknownLanguageHasNoTable) {
  EXPECT_FALSE(launcherTextsJson("xx"));
  EXPECT_FALSE(launcherTextsJson("EN"));
  EXPECT_FALSE(launcherTextsJson(""));
}

TEST(LauncherTexts, BuiltInTextsOfTheLauncherAreRepeatedExactly) {
  struct Row {
    std::string_view lang, stage, other, retry, logs, quit;
  };
  const Row rows[] = {
      {"de", "Suche nach Updates \u2026", "Unerwarteter Fehler. Details stehen im Protokoll:",
       "Erneut versuchen", "Protokoll \u00f6ffnen", "Beenden"},
      {"en", "Checking for updates \u2026",
       "Unexpected error. Details are in the log:", "Try again", "Open log", "Quit"},
      {"tr", "G\u00fcncellemeler denetleniyor \u2026",
       "Beklenmeyen hata. Ayr\u0131nt\u0131lar g\u00fcnl\u00fckte:", "Yeniden dene",
       "G\u00fcnl\u00fc\u011f\u00fc a\u00e7", "\u00c7\u0131k"},
      {"pl", "Sprawdzanie aktualizacji \u2026",
       "Nieoczekiwany b\u0142\u0105d. Szczeg\u00f3\u0142y znajduj\u0105 si\u0119 w dzienniku:",
       "Spr\u00f3buj ponownie", "Otw\u00f3rz dziennik", "Zako\u0144cz"},
      {"ro", "Se caut\u0103 actualiz\u0103ri \u2026",
       "Eroare nea\u0219teptat\u0103. Detaliile sunt \u00een jurnal:", "\u00cencearc\u0103 din nou",
       "Deschide jurnalul", "Ie\u0219ire"},
      {"es", "Buscando actualizaciones \u2026",
       "Error inesperado. Los detalles est\u00e1n en el registro:", "Reintentar", "Abrir registro",
       "Salir"},
      {"fr", "Recherche de mises \u00e0 jour \u2026",
       "Erreur inattendue. Les d\u00e9tails se trouvent dans le journal :", "R\u00e9essayer",
       "Ouvrir le journal", "Quitter"},
      {"it", "Ricerca aggiornamenti \u2026",
       "Errore imprevisto. I dettagli sono nel registro:", "Riprova", "Apri registro", "Esci"},
  };
  for (const auto& row : rows) {
    auto language = *parseLanguage(row.lang);
    EXPECT_EQ(launcherText("stage_manifest", language), row.stage) << row.lang;
    EXPECT_EQ(launcherText("err_other", language), row.other) << row.lang;
    EXPECT_EQ(launcherText("btn_retry", language), row.retry) << row.lang;
    EXPECT_EQ(launcherText("btn_logs", language), row.logs) << row.lang;
    EXPECT_EQ(launcherText("btn_quit", language), row.quit) << row.lang;
  }
}

TEST(LauncherTexts, PlaceholdersOnlyWhereTheLauncherFillsThemAndAlikeInEveryLanguage) {
  for (const auto& row : launcherTexts()) {
    bool allowed = std::find(std::begin(kPlaceholderKeys), std::end(kPlaceholderKeys), row.key) !=
                   std::end(kPlaceholderKeys);
    auto english = placeholdersIn(in(row.text, Language::en));
    EXPECT_TRUE(!allowed || !english.empty()) << row.key;
    for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
      auto text = row.text[i];
      auto found = placeholdersIn(text);
      EXPECT_EQ(found, english) << row.key << " " << kLanguageCodes[i];
      for (const auto& placeholder : found)
        EXPECT_TRUE(placeholder == "{new}" || placeholder == "{old}" || placeholder == "{min}")
            << row.key << " " << kLanguageCodes[i] << " " << placeholder;
      if (!allowed) {
        EXPECT_EQ(text.find_first_of("{}"), std::string_view::npos)
            << row.key << " " << kLanguageCodes[i];
      }
    }
  }
}

TEST(LauncherTexts, TextsFollowedByAPathOrReasonEndWithAColon) {
  for (auto key : {"err_other", "err_game_exit", "mac_install_failed", "xplat_failed"}) {
    for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
      auto text = launcherText(key, static_cast<Language>(i));
      EXPECT_TRUE(text.ends_with(':')) << key << " " << kLanguageCodes[i];
      EXPECT_EQ(text.ends_with(" :"), kLanguageCodes[i] == "fr") << key << " " << kLanguageCodes[i];
    }
  }
  // A blank and the version follow it.
  for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
    auto text = launcherText("xplat_downloading", static_cast<Language>(i));
    EXPECT_FALSE(text.ends_with(' ') || text.ends_with(':') || text.ends_with('.')) << text;
  }
}

// Applies to the launcher's table and the tool's own messages alike.
void expectTypography(std::string_view text, Language language) {
  const std::string_view code = kLanguageCodes[static_cast<std::size_t>(language)];
  EXPECT_EQ(text.find("..."), std::string_view::npos) << text;
  for (auto at = text.find("\u2026"); at != std::string_view::npos;
       at = text.find("\u2026", at + 1)) {
    EXPECT_TRUE(at > 0 && text[at - 1] == ' ') << text;  // an ordinary space before it
  }
  if (code == "ro") {  // comma below, never the cedilla forms
    for (auto cedilla : {"\u015f", "\u0163", "\u015e", "\u0162"})
      EXPECT_EQ(text.find(cedilla), std::string_view::npos) << text;
  }
  if (code == "tr") {
    for (auto commaBelow : {"\u0219", "\u021b"})
      EXPECT_EQ(text.find(commaBelow), std::string_view::npos) << text;
  }
}

TEST(LauncherTexts, EllipsesAndLetterFormsAreTheRightCharacters) {
  for (const auto& row : launcherTexts()) {
    for (std::size_t i = 0; i < kLanguageCodes.size(); ++i)
      expectTypography(row.text[i], static_cast<Language>(i));
  }
}

TEST(Messages, EveryMessageInEveryLanguage) {
  for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
    auto language = static_cast<Language>(i);
    std::set<std::string_view> labels;
    for (int m = 0; m <= static_cast<int>(Message::readyUpdated); ++m) {
      auto text = message(static_cast<Message>(m), language);
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find_first_of("{}"), std::string_view::npos) << text;
      expectTypography(text, language);
      labels.insert(text);
    }
    EXPECT_EQ(labels.size(), static_cast<std::size_t>(Message::readyUpdated) + 1)
        << "two messages share a text in " << kLanguageCodes[i];
    for (auto kind : {FailureKind::network, FailureKind::disk, FailureKind::integrity,
                      FailureKind::manifest, FailureKind::other}) {
      auto text = failureMessage(kind, language);
      EXPECT_FALSE(text.empty());
      expectTypography(text, language);
      // Only an unexpected failure is followed by the log's path.
      EXPECT_EQ(text.ends_with(':'), kind == FailureKind::other) << text;
    }
  }
}

}  // namespace
}  // namespace kaldra::update
