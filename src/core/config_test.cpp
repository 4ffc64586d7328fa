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

}  // namespace
}  // namespace kaldra
