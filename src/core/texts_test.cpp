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

}  // namespace
}  // namespace kaldra
