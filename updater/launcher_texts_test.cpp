#include "updater/launcher_texts.h"

#include <gtest/gtest.h>

#include <iterator>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "updater/messages.h"

namespace kaldra::update {
namespace {

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

// Applies to the launcher's table and the tool's own messages alike.
void expectTypography(std::string_view text, std::string_view code) {
  EXPECT_EQ(text.find("..."), std::string_view::npos) << text;
  for (auto at = text.find("\u2026"); at != std::string_view::npos;
       at = text.find("\u2026", at + 1))
    EXPECT_TRUE(at > 0 && text[at - 1] == ' ') << text;  // an ordinary space before it
  if (code == "ro") {                                    // comma below, never the cedilla forms
    for (auto cedilla : {"\u015f", "\u0163", "\u015e", "\u0162"})
      EXPECT_EQ(text.find(cedilla), std::string_view::npos) << text;
  }
}

TEST(LauncherTexts, EveryLanguageHasEveryKeyTheLauncherAsksForWithTheSamePlaceholders) {
  std::istringstream keys(
      "btn_continue btn_download btn_later btn_install btn_logs btn_not_now btn_quit btn_retry "
      "btn_update_restart err_game_exit err_game_running err_other mac_install_failed "
      "mac_install_offer mac_installing mac_other_running prefix_setup starting rosetta_missing "
      "rosetta_needed rosetta_wait stage_manifest stage_ready stage_verify xplat_done "
      "xplat_failed xplat_start_failed_restored xplat_downloaded xplat_downloading "
      "xplat_installing xplat_mac_opened xplat_required_manual xplat_system_too_old "
      "xplat_update_available xplat_update_available_mac xplat_update_required");
  std::set<std::string> expected{std::istream_iterator<std::string>(keys), {}};
  auto english = nlohmann::json::parse(*launcherTextsJson("en"));
  for (auto code : kLanguageCodes) {
    auto json = nlohmann::json::parse(*launcherTextsJson(code));
    std::set<std::string> found;
    for (const auto& [key, value] : json.items()) {
      ASSERT_TRUE(value.is_string()) << code << " " << key;
      auto text = value.get<std::string>();
      EXPECT_FALSE(text.empty()) << code << " " << key;
      EXPECT_EQ(placeholdersIn(text), placeholdersIn(english[key].get<std::string>()))
          << code << " " << key;
      expectTypography(text, code);
      found.insert(key);
    }
    EXPECT_EQ(found, expected) << code;
  }
  EXPECT_FALSE(launcherTextsJson("EN"));
  EXPECT_FALSE(launcherTextsJson(""));
}

TEST(LauncherTexts, TextsFollowedByAPathOrReasonEndWithAColon) {
  for (auto key : {"err_other", "err_game_exit", "mac_install_failed", "xplat_failed"}) {
    for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
      auto text = launcherText(key, static_cast<Language>(i));
      EXPECT_TRUE(text.ends_with(':')) << key << " " << kLanguageCodes[i];
      EXPECT_EQ(text.ends_with(" :"), kLanguageCodes[i] == "fr") << key << " " << kLanguageCodes[i];
    }
  }
}

TEST(Messages, EveryMessageInEveryLanguageDistinctAndOnlyTheUnexpectedFailureNamesTheLog) {
  for (std::size_t i = 0; i < kLanguageCodes.size(); ++i) {
    auto language = static_cast<Language>(i);
    std::set<std::string_view> labels;
    for (int m = 0; m <= static_cast<int>(Message::readyUpdated); ++m) {
      auto text = message(static_cast<Message>(m), language);
      expectTypography(text, kLanguageCodes[i]);
      labels.insert(text);
    }
    EXPECT_EQ(labels.size(), static_cast<std::size_t>(Message::readyUpdated) + 1);
    for (auto kind : {FailureKind::network, FailureKind::disk, FailureKind::integrity,
                      FailureKind::manifest, FailureKind::other}) {
      auto text = failureMessage(kind, language);
      expectTypography(text, kLanguageCodes[i]);
      EXPECT_EQ(text.ends_with(':'), kind == FailureKind::other) << text;
    }
  }
}

}  // namespace
}  // namespace kaldra::update
