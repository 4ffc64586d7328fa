#include "core/texts.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

// The table wins key by key, even with an empty text; then the built-in texts; the key.
TEST(Texts, TableThenBuiltInTextsThenTheKey) {
  cfg.lang = "de";
  cfg.texts = *parseTextTable(R"({"btn_retry": "Nochmal", "btn_quit": ""})");
  for (auto [key, text] : {std::pair{"btn_retry", "Nochmal"},
                           {"btn_quit", ""},
                           {"stage_manifest", "Suche nach Updates \u2026"},
                           {"btn_continue", "btn_continue"}})
    EXPECT_EQ(T(key), text);
}

TEST(Texts, TableIsRejectedWholeUnlessEveryValueIsAString) {
  for (std::string_view bad : std::initializer_list<std::string_view>{
           R"({"btn_retry": "x", "n": 1})", R"({"nested": {"a": "b"}})", R"(["btn_retry"])", "",
           "{\"a\": \"b\"} trailing", std::string_view("{\"a\": \"b\"}\0junk", 15)})
    EXPECT_FALSE(parseTextTable(bad)) << bad;
  EXPECT_TRUE(parseTextTable("{}"));
}

}  // namespace
}  // namespace kaldra
