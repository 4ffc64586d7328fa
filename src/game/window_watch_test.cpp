#include "game/window_watch.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fake_ui.h"
#include "tests/support/fake_watch_time.h"
#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using namespace std::chrono_literals;

TEST(WindowWatch, HidesTheWindowFourSecondsAfterTheGameAndThePrefixShow) {
  testing::TempDir dir;
  // A process whose command line names the game's executable in capitals.
  testing::RunningProgram game("/bin/sh", {"-c", "sleep 300; true", "C:\\KALDRITH\\KALDRITH.EXE"});
  ChildProcess script(game.pid());
  testing::FakeUI ui;
  testing::FakeWatchTime time;
  time.afterSleep = [&](size_t number) {
    if (number == 4) std::ofstream(dir / ".kaldra-runtime");  // the prefix becomes ready
    EXPECT_TRUE(number != 5 || ui.callsSnapshot().empty()) << "hidden before the delay";
  };
  watchGameWindow(ui, script, dir / ".kaldra-runtime", time.clock());
  EXPECT_EQ(time.sleeps(), (std::vector<WatchClock::Duration>{1s, 1s, 1s, 1s, 1s, 4s}));
  EXPECT_EQ(ui.calls, std::vector<std::string>{"hideWhileGameRuns"});
}

}  // namespace
}  // namespace kaldra
