#include "updater/base/parallel.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace kaldra::update {
namespace {

TEST(WorkerThreads, APositiveSettingIsTakenAndAnyOtherLeavesAtLeastOne) {
  const std::pair<const char*, unsigned> cases[] = {{"1", 1}, {"12", 12}, {"0", 0}, {"3x", 0}};
  for (const auto& [setting, threads] : cases) {
    ::setenv("KALDRA_UPDATE_THREADS", setting, 1);
    auto taken = workerThreads();
    EXPECT_TRUE(threads > 0 ? taken == threads : taken >= 1 && taken <= 8) << setting;
  }
  ::unsetenv("KALDRA_UPDATE_THREADS");
}

}  // namespace
}  // namespace kaldra::update
