#include "swap/prepare_swap.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

TEST(HandedOnEnv, OnlyLauncherSettingsWithTheAnswersMeantForAfterTheSwap) {
  Env env = {{"HOME", "/home/p"},
             {"KALDRA_LANG", "de"},
             {"KALDRA_TEST_ANSWERS", "1,0"},
             {"KALDRA_TEST_ANSWERS_AFTER_SWAP", "2"}};
  std::map<std::string, std::string> handed = {{"KALDRA_LANG", "de"}, {"KALDRA_TEST_ANSWERS", "2"}};
  EXPECT_EQ(handedOnEnv(env), handed);
}

}  // namespace
}  // namespace kaldra
