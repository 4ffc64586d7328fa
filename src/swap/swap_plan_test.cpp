#include "swap/swap_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

using nlohmann::json;

SwapPlan samplePlan() {
  return {.op = "update",
          .from = "",
          .to = "2.0",
          .source = "/Volumes/Kaldrith/Kaldrith.app",
          .target = "/Applications/Kaldrith.app",
          .staged = "/data/xplat/mac-swap/Kaldrith.app",
          .stageDir = "/data/xplat/mac-swap",
          .pid = 812,
          .helper = 0,
          .state = "staged",
          .note = "",
          .utc = "",
          .env = {{"KALDRA_LANG", "de"}}};
}

TEST(SwapPlanFile, EncodedCompactlyAndDecodedStrictly) {
  std::string bytes = encodePlan(samplePlan());
  EXPECT_EQ(bytes.find_first_of("\n "), std::string::npos);
  EXPECT_EQ(decodePlan(bytes), samplePlan());
  json good = json::parse(bytes);
  EXPECT_EQ(good.size(), 13u);
  struct Case {
    const char* what;
    std::function<void(json&)> change;
    bool readable;
  } cases[] = {
      {"extra key", [](json& o) { o["later"] = 1; }, true},
      {"largest pid", [](json& o) { o["pid"] = 2147483647; }, true},
      {"negative helper", [](json& o) { o["helper"] = -2147483648LL; }, true},
      {"no utc", [](json& o) { o.erase("utc"); }, false},
      {"no env", [](json& o) { o.erase("env"); }, false},
      {"pid too large", [](json& o) { o["pid"] = 2147483648LL; }, false},
      {"helper too small", [](json& o) { o["helper"] = -2147483649LL; }, false},
      {"pid as text", [](json& o) { o["pid"] = "812"; }, false},
      {"pid as fraction", [](json& o) { o["pid"] = 8.5; }, false},
      {"state as number", [](json& o) { o["state"] = 1; }, false},
      {"note null", [](json& o) { o["note"] = nullptr; }, false},
      {"env value number", [](json& o) { o["env"]["KALDRA_LANG"] = 1; }, false},
      {"env as array", [](json& o) { o["env"] = json::array(); }, false},
  };
  for (const auto& c : cases) {
    json changed = good;
    c.change(changed);
    EXPECT_EQ(decodePlan(changed.dump()).has_value(), c.readable) << c.what;
  }
  for (const char* garbage : {"", "[]", "null", "{", "{\"op\":\"update\"}", "\xff\xfe"})
    EXPECT_FALSE(decodePlan(garbage)) << garbage;
}

TEST(SwapPlanFile, StateMovesOnlyForward) {
  const char* states[] = {"staged", "swapped", "confirmed", "rolled-back", "failed"};
  std::set<std::pair<std::string, std::string>> legal = {
      {"staged", "staged"},      {"staged", "swapped"},      {"staged", "failed"},
      {"swapped", "confirmed"},  {"swapped", "rolled-back"}, {"swapped", "failed"},
      {"confirmed", "confirmed"}};
  for (const char* from : states)
    for (const char* to : states)
      EXPECT_EQ(legalMove(from, to), legal.contains({from, to})) << from << " -> " << to;

  SwapPlan plan = samplePlan();
  plan.state = "rolled-back";
  EXPECT_FALSE(moveTo(plan, "failed", "late"));
  EXPECT_EQ(plan.state, "rolled-back");
  EXPECT_EQ(plan.note, "");
  plan.state = "swapped";
  EXPECT_TRUE(moveTo(plan, "failed", "swap back failed: x"));
  EXPECT_EQ(plan.note, "swap back failed: x");
}

class SwapPlanWrite : public testing::SwapSandbox {};

TEST_F(SwapPlanWrite, FileIsPrivateFromItsFirstByteAndStampedNow) {
  mode_t previous = umask(0);
  fs::path plan = cfg.xplatDir / "mac-swap.json";
  SwapPlan written = samplePlan();
  written.utc = "1999-01-01T00:00:00Z";
  writePlan(written, plan);
  // Watch the folder for a moment of a second write: no entry ever has more than 0600.
  bool leaked = false;
  std::atomic<bool> done = false;
  std::thread watcher([&] {
    while (!done)
      for (const auto& entry : fs::directory_iterator(cfg.xplatDir)) {
        struct stat info {};
        if (stat(entry.path().c_str(), &info) == 0 && (info.st_mode & 077) != 0) leaked = true;
      }
  });
  for (int i = 0; i < 200; ++i) writePlan(written, plan);
  done = true;
  watcher.join();
  umask(previous);

  EXPECT_FALSE(leaked);
  struct stat info {};
  ASSERT_EQ(stat(plan.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(stat(cfg.xplatDir.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);
  auto read = readPlan(plan);
  ASSERT_TRUE(read);
  EXPECT_TRUE(std::regex_match(read->utc, std::regex("20[0-9]{2}-[0-9]{2}-[0-9]{2}T[0-9:]{8}Z")));
  read->utc = written.utc;
  EXPECT_EQ(*read, written);
  EXPECT_TRUE(readPlanExists(plan));
}

TEST_F(SwapPlanWrite, MissingOrFolderReadsAsNoPlan) {
  fs::path plan = cfg.xplatDir / "mac-swap.json";
  EXPECT_FALSE(readPlanExists(plan));
  fs::create_directories(plan);
  EXPECT_FALSE(readPlan(plan));
  EXPECT_TRUE(readPlanExists(plan));
}

}  // namespace
}  // namespace kaldra
