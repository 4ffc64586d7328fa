#include "swap/swap_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "swap/prepare_swap.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

class SwapPlanFile : public testing::SwapSandbox {};

TEST_F(SwapPlanFile, PrivateWhateverTheUmaskAndDecodedStrictly) {
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
  Env env = {{"HOME", "/home/p"},
             {"KALDRA_LANG", "de"},
             {"KALDRA_TEST_ANSWERS", "1,0"},
             {"KALDRA_TEST_ANSWERS_AFTER_SWAP", "2"}};
  EXPECT_EQ(handedOnEnv(env), (std::map<std::string, std::string>{{"KALDRA_LANG", "de"},
                                                                  {"KALDRA_TEST_ANSWERS", "2"}}));
}

}  // namespace
}  // namespace kaldra
