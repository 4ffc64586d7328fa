#include "core/texts.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

class Texts : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg.texts.clear();
    cfg.lang = "de";
  }
};

TEST_F(Texts, WithoutTableTheBuiltInTextsThenTheKey) {
  EXPECT_EQ(T("stage_manifest"), "Suche nach Updates \u2026");
  EXPECT_EQ(T("btn_continue"), "btn_continue");
}

TEST_F(Texts, TableWinsKeyByKeyEvenWhenEmpty) {
  cfg.texts = *parseTextTable(R"({"btn_retry": "Nochmal", "btn_quit": ""})");
  EXPECT_EQ(T("btn_retry"), "Nochmal");
  EXPECT_EQ(T("btn_quit"), "");
  EXPECT_EQ(T("btn_logs"), "Protokoll öffnen");
}

TEST_F(Texts, TableIsRejectedWholeUnlessEveryValueIsAString) {
  EXPECT_FALSE(parseTextTable(R"({"btn_retry": "x", "n": 1})"));
  EXPECT_FALSE(parseTextTable(R"({"nested": {"a": "b"}})"));
  EXPECT_FALSE(parseTextTable(R"(["btn_retry"])"));
  EXPECT_FALSE(parseTextTable(""));
  EXPECT_FALSE(parseTextTable("{\"a\": \"b\"} trailing"));
  EXPECT_FALSE(parseTextTable(std::string_view("{\"a\": \"b\"}\0junk", 15)));
  EXPECT_TRUE(parseTextTable("{}"));
}

TEST_F(Texts, MissingToolLeavesTheBuiltInTexts) {
  cfg.updater = "/nonexistent/kaldra-update";
  loadTextTable();
  EXPECT_TRUE(cfg.texts.empty());
  EXPECT_EQ(T("btn_quit"), "Beenden");
}

TEST(FallbackTexts, EightLanguagesWithTheSameFiveKeys) {
  const auto& table = fallbackTexts();
  ASSERT_EQ(table.size(), 8u);
  for (const auto& code : supportedLanguages()) {
    ASSERT_TRUE(table.contains(code)) << code;
    const auto& texts = table.at(code);
    EXPECT_EQ(texts.size(), 5u) << code;
    for (const char* key : {"stage_manifest", "err_other", "btn_retry", "btn_logs", "btn_quit"})
      EXPECT_TRUE(texts.contains(key)) << code << " " << key;
    EXPECT_TRUE(texts.at("stage_manifest").ends_with(" \u2026")) << code;
    EXPECT_TRUE(texts.at("err_other").ends_with(":")) << code;
  }
  EXPECT_TRUE(table.at("fr").at("err_other").ends_with("journal :"));
  EXPECT_EQ(table.at("ro").at("btn_quit"), "Ie\u0219ire");  // comma below, not cedilla
}

}  // namespace
}  // namespace kaldra
