#include "game/game_start.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "tests/support/fake_ui.h"
#include "tests/support/fake_watch_time.h"
#include "tests/support/game_sandbox.h"

namespace kaldra {
namespace {

using testing::FakeUI;
using testing::FakeWatchTime;
using testing::GameSandbox;
using Calls = std::vector<std::string>;

// Starts the game with fake watch time and waits for the window watch too, so that
// nothing outlives the test.
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

  std::map<std::string, std::string> dumpedEnvironment() const {
    std::map<std::string, std::string> env;
    std::istringstream in(GameSandbox::file(sandbox.root() / "env.txt"));
    for (std::string line; std::getline(in, line);) {
      auto equals = line.find('=');
      env[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return env;
  }

  GameSandbox sandbox;
  FakeUI ui;
  FakeWatchTime time;
};

TEST_F(GameStart, StatusTellsWhetherThePrefixIsSetUp) {
  sandbox.writeStartScript("exit 0\n");
  start();
  std::filesystem::create_directories(sandbox.runtimeMarker().parent_path());
  std::ofstream(sandbox.runtimeMarker());
  start();
  ASSERT_EQ(ui.statuses.size(), 2u);
  EXPECT_EQ(ui.statuses[0].text, "prefix_setup");
  EXPECT_EQ(ui.statuses[1].text, "starting");
  for (const auto& status : ui.statuses) {
    EXPECT_EQ(status.progress, std::nullopt);
    EXPECT_EQ(status.detail, "");
  }
  EXPECT_EQ(ui.calls, (Calls{"gameDidStart", "quit", "gameDidStart", "quit"}));
}

TEST_F(GameStart, PickupScanCodeReachesTheScriptOnlyFromTheKeyboard) {
  cfg.env["KALDRA_MAC_PICKUP_SCANCODE"] = "99";  // inherited, never passed on
  sandbox.writeStartScript("env > '" + (sandbox.root() / "env.txt").string() + "'\n");
  start();
  auto env = dumpedEnvironment();
  EXPECT_FALSE(env.contains("KALDRA_MAC_PICKUP_SCANCODE"));
  EXPECT_EQ(env["KALDRA_INHERITED"], "kept");
  EXPECT_EQ(env["PATH"], "/usr/bin:/bin:/usr/sbin:/sbin");

  ui.scanCode = "86";
  start();
  EXPECT_EQ(dumpedEnvironment()["KALDRA_MAC_PICKUP_SCANCODE"], "86");
}

TEST_F(GameStart, StartScriptThatIsAFolderIsAFailedStartNotASuccess) {
  std::filesystem::create_directories(cfg.res / "share/kaldra-wine.sh");
  start();
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].message, "Unexpected error. Details are in the log: Is a directory");
  EXPECT_EQ(ui.calls, Calls{"quit"});
  EXPECT_FALSE(std::filesystem::exists(cfg.logsDir / "launcher.log"));
}

TEST_F(GameStart, ShellThatCannotStartIsToldAndNothingIsLogged) {
  sandbox.writeStartScript("exit 0\n");
  start("/nonexistent/sh");
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].message,
            "Unexpected error. Details are in the log: No such file or directory");
  EXPECT_EQ(ui.dialogs[0].buttons, Calls{"Quit"});
  EXPECT_EQ(ui.dialogs[0].style, AlertStyle::warning);
  EXPECT_EQ(ui.calls, Calls{"quit"});
  EXPECT_FALSE(std::filesystem::exists(cfg.logsDir / "launcher.log"));
}

}  // namespace
}  // namespace kaldra
