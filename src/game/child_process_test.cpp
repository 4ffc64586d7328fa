#include "game/child_process.h"

#include <gtest/gtest.h>

#include <thread>

#include "tests/support/running_program.h"

namespace kaldra {
namespace {

using testing::eventually;
using testing::RunningProgram;

TEST(ChildProcess, EveryThreadSeesTheSameStatusAfterTheChildIsReaped) {
  RunningProgram shell("/bin/sh", {"-c", "sleep 0.2; exit 7"});
  ChildProcess child(shell.pid());
  std::optional<int> seenByOther;
  std::thread other(
      [&] { eventually([&] { return (seenByOther = child.exitStatus()).has_value(); }); });
  std::optional<int> seenHere;
  eventually([&] { return (seenHere = child.exitStatus()).has_value(); });
  other.join();
  EXPECT_EQ(seenHere, 7);
  EXPECT_EQ(seenByOther, 7);
  EXPECT_EQ(child.exitStatus(), 7) << "asked again after it was reaped";
}

}  // namespace
}  // namespace kaldra
