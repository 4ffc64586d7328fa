#include "core/config.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kaldra {
namespace {

TEST(LanguageChoice, SupportedKaldraLangThenFirstPreferredPrefixThenEnglish) {
  const struct {
    Env env;
    std::vector<std::string> preferred;
    const char* lang;
  } cases[] = {{{{"KALDRA_LANG", "fr"}}, {"de_DE"}, "fr"},
               {{{"KALDRA_LANG", "FR"}}, {"pl_PL"}, "pl"},
               {{{"KALDRA_LANG", "fr-CA"}}, {}, "en"},
               {{}, {"pt-BR", "it-IT"}, "it"},
               {{}, {"TR_tr.UTF-8"}, "tr"},
               {{}, {"r"}, "en"}};
  for (const auto& c : cases) EXPECT_EQ(chooseLanguage(c.env, c.preferred), c.lang);
}

TEST(ScriptedAnswers, SixtyFourBitIntegersEmptyAndMalformedPiecesSkipped) {
  using Answers = std::deque<std::int64_t>;
  const struct {
    const char* text;
    Answers answers;
  } cases[] = {{"1,x,,0", {1, 0}},
               {",-3,+4, 5,7 ,,", {-3, 4}},
               {"4294967296,-9223372036854775808", {4294967296, INT64_MIN}},
               {"9223372036854775808,2,-,+,+-1", {2}},
               {"", {}}};
  for (const auto& c : cases) EXPECT_EQ(parseTestAnswers(c.text), c.answers) << c.text;
}

TEST(Configuration, DataFolderIsMadeAbsoluteAndNormalOnceEmptySettingsCountAsUnset) {
  const auto here = fs::current_path();
  const struct {
    const char* value;
    fs::path dataDir;
  } cases[] = {{"/tmp/d/", "/tmp/d"},
               {"/tmp//d/./e/..", "/tmp/d"},
               {"rel/d/", here / "rel/d"},
               {"", "/home/p/data"}};
  for (const auto& c : cases) {
    Config config =
        computeConfig({.env = {{"KALDRA_DATA_DIR", c.value}, {"KALDRA_SNAPSHOT_DIR", ""}},
                       .bundle = "/a/Kaldrith.app",
                       .defaultDataDir = "/home/p/data/"});
    EXPECT_EQ(config.dataDir, c.dataDir) << c.value;
    EXPECT_EQ(config.logsDir, c.dataDir / "logs") << c.value;
    EXPECT_FALSE(config.snapDir);
  }
}

}  // namespace
}  // namespace kaldra
