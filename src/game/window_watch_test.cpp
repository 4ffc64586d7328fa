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
using testing::eventually;
using testing::FakeUI;
using testing::FakeWatchTime;
using testing::RunningProgram;
using testing::TempDir;
using Sleeps = std::vector<FakeWatchTime::Duration>;

// A process whose command line names the game's executable in capitals.
RunningProgram gameLookalike() {
  return RunningProgram("/bin/sh", {"-c", "sleep 300; true", "C:\\KALDRITH\\KALDRITH.EXE"});
}

TEST(WindowWatch, HidesTheWindowFourSecondsAfterTheGameAndThePrefixShow) {
  TempDir dir;
  RunningProgram game = gameLookalike();
  ChildProcess script(game.pid());
  FakeUI ui;
  FakeWatchTime time;
  time.afterSleep = [&](size_t number) {
    if (number == 4) std::ofstream(dir / ".kaldra-runtime");  // the prefix becomes ready
    if (number == 5) {
      EXPECT_TRUE(ui.callsSnapshot().empty()) << "hidden before the delay";
    }
  };
  watchGameWindow(ui, script, dir / ".kaldra-runtime", time.clock());
  EXPECT_EQ(time.sleeps(), (Sleeps{1s, 1s, 1s, 1s, 1s, 4s}));
  EXPECT_EQ(ui.calls, std::vector<std::string>{"hideWhileGameRuns"});
}

TEST(ListShowsGameExecutable, AnyLetterCaseAmidAnyBytes) {
  EXPECT_TRUE(listShowsGameExecutable("/bin/sh -c x\nwine C:\\Kaldrith\\kaldrith.exe\n"));
  EXPECT_TRUE(listShowsGameExecutable("\xff\xfeKaLdRiTh.ExE\xc3"));
  EXPECT_FALSE(listShowsGameExecutable("/Applications/Kaldrith.app/Contents/MacOS/Kaldrith\n"));
  EXPECT_FALSE(listShowsGameExecutable("kaldrith.ex\ne"));
}

}  // namespace
}  // namespace kaldra
