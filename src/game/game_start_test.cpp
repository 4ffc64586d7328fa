#include "game/game_start.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/fake_ui.h"
#include "tests/support/fake_watch_time.h"
#include "tests/support/game_sandbox.h"

namespace kaldra {
namespace {

using Calls = std::vector<std::string>;

// Waits for the window watch too, so that nothing outlives the test.
class GameStart : public ::testing::Test {
 protected:
  void start() {
    std::thread windowWatch;
    startGame(ui, {.clock = time.clock(), .runBeside = [&](std::function<void()> watch) {
                     windowWatch = std::thread(std::move(watch));
                   }});
    if (windowWatch.joinable()) windowWatch.join();
  }

  testing::GameSandbox sandbox;
  testing::FakeUI ui;
  testing::FakeWatchTime time;
};

TEST_F(GameStart, StatusTellsWhetherThePrefixIsSetUp) {
  sandbox.writeStartScript("exit 0\n");
  start();
  std::filesystem::create_directories(sandbox.runtimeMarker().parent_path());
  std::ofstream(sandbox.runtimeMarker());
  start();
  EXPECT_EQ(ui.statuses,
            (std::vector<testing::ShownStatus>{{"prefix_setup", {}, ""}, {"starting", {}, ""}}));
  EXPECT_EQ(ui.calls, (Calls{"gameDidStart", "quit", "gameDidStart", "quit"}));
}

}  // namespace
}  // namespace kaldra
