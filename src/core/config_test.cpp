#include "core/config.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

TEST(LanguageChoice, ExactSupportedCodeInKaldraLangWins) {
  EXPECT_EQ(chooseLanguage({{"KALDRA_LANG", "fr"}}, {"de_DE"}), "fr");
}

TEST(LanguageChoice, KaldraLangThatIsNotACodeFallsThroughToPreferences) {
  EXPECT_EQ(chooseLanguage({{"KALDRA_LANG", "FR"}}, {"pl_PL"}), "pl");
  EXPECT_EQ(chooseLanguage({{"KALDRA_LANG", "fr-CA"}}, {}), "en");
}

TEST(LanguageChoice, FirstPreferredLanguageWithASupportedPrefix) {
  EXPECT_EQ(chooseLanguage({}, {"pt-BR", "it-IT"}), "it");
  EXPECT_EQ(chooseLanguage({}, {"pt-BR"}), "en");
  EXPECT_EQ(chooseLanguage({}, {"TR_tr.UTF-8"}), "tr");
  EXPECT_EQ(chooseLanguage({}, {"r"}), "en");
}

TEST(ScriptedAnswers, EmptyAndMalformedPiecesAreSkipped) {
  EXPECT_EQ(parseTestAnswers("1,x,,0"), (std::deque<int>{1, 0}));
  EXPECT_EQ(parseTestAnswers(",-3,+4, 5,7 ,,"), (std::deque<int>{-3, 4}));
  EXPECT_EQ(parseTestAnswers("99999999999,2,-,+"), (std::deque<int>{2}));
  EXPECT_TRUE(parseTestAnswers("").empty());
}

TEST(Configuration, PathsFollowTheDataFolderAndTheBundle) {
  PlatformFacts facts{
      .env = {{"KALDRA_DATA_DIR", "/tmp/d"}, {"KALDRA_SNAPSHOT_DIR", "/s"}},
      .bundle = "/opt/Kaldrith.app",
      .defaultDataDir = "/home/p/.local/share/Kaldrith",
      .defaultInstallDir = "/home/p/Applications",
      .infoPlist = std::map<std::string, std::string>{{"CFBundleShortVersionString", "2.5.1"}}};
  Config c = computeConfig(facts);
  EXPECT_EQ(c.logsDir, "/tmp/d/logs");
  EXPECT_EQ(c.swapPlanURL, "/tmp/d/xplat/mac-swap.json");
  EXPECT_EQ(c.clientDir, "/tmp/d/prefix/drive_c/Kaldrith");
  EXPECT_EQ(c.updater, "/opt/Kaldrith.app/Contents/Resources/bin/kaldra-update");
  EXPECT_EQ(c.installTarget, "/home/p/Applications/Kaldrith.app");
  EXPECT_EQ(c.appVersion, "2.5.1");
  EXPECT_EQ(c.snapDir, "/s");
  EXPECT_EQ(c.bundleID, "com.kaldrith.client");
}

TEST(Configuration, DefaultsWithoutEnvironmentOrVersion) {
  Config c = computeConfig({.bundle = "/a/Kaldrith.app", .defaultDataDir = "/home/p/data"});
  EXPECT_EQ(c.dataDir, "/home/p/data");
  EXPECT_EQ(c.appVersion, "0.0.0");
  EXPECT_FALSE(c.snapDir);
  EXPECT_TRUE(c.testAnswers.empty());
  EXPECT_EQ(c.lang, "en");
}

}  // namespace
}  // namespace kaldra
