#include "swap/swap_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "swap/bundle_identity.h"
#include "swap/prepare_swap.h"
#include "swap/swap_error.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class SwapFiles : public testing::SwapSandbox {};

TEST_F(SwapFiles, PlanIsPrivateWhateverTheUmaskAndDecodedStrictly) {
  const SwapPlan plan{
      .op = "update", .to = "2.0", .pid = 812, .state = "staged", .env = {{"KALDRA_LANG", "de"}}};
  mode_t previous = umask(0);
  writePlan(plan, cfg.swapPlanURL);
  umask(previous);
  struct stat info {};
  ASSERT_EQ(stat(cfg.swapPlanURL.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  auto read = readPlan(cfg.swapPlanURL);
  ASSERT_TRUE(read);
  read->utc = "";
  EXPECT_EQ(*read, plan);

  nlohmann::json good = nlohmann::json::parse(encodePlan(plan));
  struct Case {
    const char* key;
    nlohmann::json value;
    bool readable;
  } cases[] = {{"pid", 2147483647, true},    {"helper", -2147483648LL, true},
               {"pid", 2147483648LL, false}, {"helper", -2147483649LL, false},
               {"pid", "812", false},        {"note", nullptr, false}};
  for (const auto& c : cases) {
    nlohmann::json changed = good;
    changed[c.key] = c.value;
    EXPECT_EQ(decodePlan(changed.dump()).has_value(), c.readable) << c.key << " " << c.value;
  }
}

TEST(SwapPlanState, MovesOnlyForward) {
  const char* states[] = {"staged", "swapped", "confirmed", "rolled-back", "failed"};
  std::set<std::pair<std::string, std::string>> legal = {
      {"staged", "staged"},      {"staged", "swapped"},      {"staged", "failed"},
      {"swapped", "confirmed"},  {"swapped", "rolled-back"}, {"swapped", "failed"},
      {"confirmed", "confirmed"}};
  for (const char* from : states)
    for (const char* to : states)
      EXPECT_EQ(legalMove(from, to), legal.contains({from, to})) << from << " -> " << to;
}

TEST(SwapPlanEnv, OnlyLauncherSettingsWithTheAnswersMeantForAfterTheSwap) {
  using Map = std::map<std::string, std::string>;
  Env env = {{"HOME", "/home/p"}, {"KALDRA_LANG", "de"}, {"KALDRA_TEST_ANSWERS", "1,0"}};
  EXPECT_EQ(handedOnEnv(env), (Map{{"KALDRA_LANG", "de"}}));
  env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "2";
  EXPECT_EQ(handedOnEnv(env), (Map{{"KALDRA_LANG", "de"}, {"KALDRA_TEST_ANSWERS", "2"}}));
}

TEST(Versions, Comparison) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {{"1.10", "1.9", 1}, {"2.0", "2", 0},      {"1.2.3-rc1", "1.2.3", 0},
               {"1.a", "1.0", 0},  {"1.0", "1.0.1", -1}, {"0.0.1", "", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(cmpVersion(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(cmpVersion(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

// A modified bundle is refused end to end, when the exchange is prepared.
TEST_F(SwapFiles, VerifyRefusesABundleOfAnotherMaker) {
  fs::path good = dir / "good/Kaldrith.app", other = dir / "other/Kaldrith.app";
  testing::writeSealedBundle(good, "1.2");
  testing::writeSealedBundle(other, "1.2", "com.example.other");
  EXPECT_NO_THROW(verifyBundle(good, "1.2"));
  try {
    verifyBundle(other, "1.2");
    ADD_FAILURE() << "accepted";
  } catch (const SwapError& e) {
    EXPECT_EQ(e.text, "unexpected bundle com.example.other 1.2 (expected com.kaldrith.client 1.2)");
  }
}

}  // namespace
}  // namespace kaldra
