#include "selfupdate/xplat_answers.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

TEST(CheckResult, KeysOfTheWrongTypeKeepTheirDefaults) {
  auto result = parseCheckResult(
      R"({"update":"true","required":1,"systemOk":null,"offered":2,"current":"1.0","x":[]})");
  ASSERT_TRUE(result);
  EXPECT_FALSE(result->update);
  EXPECT_FALSE(result->required);
  EXPECT_TRUE(result->systemOk);
  EXPECT_EQ(result->offered, "");
  EXPECT_EQ(result->current, "1.0");

  result = parseCheckResult(
      R"({"update":true,"required":true,"systemOk":false,"offered":"2.0","minSystem":"13"})");
  ASSERT_TRUE(result);
  EXPECT_TRUE(result->update && result->required && !result->systemOk);
  EXPECT_EQ(result->minSystem, "13");
}

TEST(CheckResult, AnythingButAnObjectIsNoResult) {
  for (const char* output : {"", "[]", "true", "{\"update\":true", "{} {}", "not json", "\xff"})
    EXPECT_FALSE(parseCheckResult(output)) << output;
  EXPECT_TRUE(parseCheckResult(" {}\n"));
}

TEST(CheckResult, PlaceholdersAreFilledLiterallyInTheirOrder) {
  CheckResult result{.offered = "2.0 {old}", .current = "1.0", .minSystem = "13"};
  EXPECT_EQ(fillPlaceholders("{new} from {old}, {NEW}, needs {min} {min}", result),
            "2.0 1.0 from 1.0, {NEW}, needs 13 13");
}

TEST(FetchReport, TheLastFileEventWinsWhole) {
  FetchReport report;
  int progress = 0;
  auto handlers = report.handlers([&](const updater::Event&) { ++progress; });
  updater::dispatchEventLine(
      R"({"type":"xplat-file","path":"/d/a.dmg","sha256":"aa","version":"2"})", handlers);
  updater::dispatchEventLine(R"({"type":"xplat-file","path":"/d/b.dmg","sha256":"bb"})", handlers);
  updater::dispatchEventLine(R"({"type":"error","user":"gone"})", handlers);
  updater::dispatchEventLine(R"({"type":"progress","pct":5})", handlers);
  EXPECT_EQ(report.path, "/d/b.dmg");
  EXPECT_EQ(report.sha256, "bb");
  EXPECT_EQ(report.version, "");
  EXPECT_EQ(report.error, "gone");
  EXPECT_EQ(progress, 1);
  updater::dispatchEventLine(R"({"type":"error"})", handlers);
  EXPECT_EQ(report.error, "");
}

}  // namespace
}  // namespace kaldra
