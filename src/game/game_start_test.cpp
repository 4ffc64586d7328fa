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
  void start(const std::string& shell = "/bin/sh") {
    std::thread windowWatch;
    startGame(
        ui, {.shell = shell, .clock = time.clock(), .runBeside = [&](std::function<void()> watch) {
               windowWatch = std::thread(std::move(watch));
             }});
    if (windowWatch.joinable()) windowWatch.join();
  }
  std::string environment() const { return testing::readFile(sandbox.root() / "env.txt"); }
  bool hasLine(const std::string& line) const {
    return ("\n" + environment()).find("\n" + line + "\n") != std::string::npos;
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

TEST_F(GameStart, PickupScanCodeReachesTheScriptOnlyFromTheKeyboard) {
  cfg.env["KALDRA_MAC_PICKUP_SCANCODE"] = "99";  // inherited, never passed on
  sandbox.writeStartScript("env > '" + (sandbox.root() / "env.txt").string() + "'\n");
  start();
  EXPECT_EQ(environment().find("KALDRA_MAC_PICKUP_SCANCODE"), std::string::npos);
  EXPECT_TRUE(hasLine("KALDRA_INHERITED=kept"));
  EXPECT_TRUE(hasLine("PATH=/usr/bin:/bin:/usr/sbin:/sbin"));
  ui.scanCode = "86";
  start();
  EXPECT_TRUE(hasLine("KALDRA_MAC_PICKUP_SCANCODE=86"));
}

// A folder would be read by the shell as an empty script that ends "successfully".
TEST_F(GameStart, StartThatCannotRunIsToldAndNothingIsLogged) {
  std::filesystem::create_directories(cfg.res / "share/kaldra-wine.sh");
  start();
  std::filesystem::remove(cfg.res / "share/kaldra-wine.sh");
  sandbox.writeStartScript("exit 0\n");
  start("/nonexistent/sh");
  const std::string told = "Unexpected error. Details are in the log: ";
  EXPECT_EQ(ui.dialogs, (std::vector<testing::AskedDialog>{
                            {told + "Is a directory", {"Quit"}, AlertStyle::warning},
                            {told + "No such file or directory", {"Quit"}, AlertStyle::warning}}));
  EXPECT_EQ(ui.calls, (Calls{"quit", "quit"}));
  EXPECT_FALSE(std::filesystem::exists(cfg.logsDir / "launcher.log"));
}

}  // namespace
}  // namespace kaldra
