#include "core/launch_sequence.h"

#include <gtest/gtest.h>

#include <fstream>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

class LaunchSequence : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg.env.clear();
    cfg.texts.clear();
    cfg.lang = "en";
    cfg.logsDir = dir / "logs";
    steps = {.selfInstallCheck = [this] { return note("self-install", true); },
             .xplatCheck = [this] { return note("xplat", true); },
             .update = [this] { return note("update", updates.empty() ? 0 : next()); },
             .ensureRosetta = [this] { return note("rosetta", true); },
             .startGame = [this] { note("game", true); }};
  }
  template <typename T>
  T note(const std::string& step, T result) {
    order.push_back(step);
    return result;
  }
  int next() {
    int r = updates.front();
    updates.erase(updates.begin());
    return r;
  }
  std::string lastLogLine() {
    std::ifstream in(cfg.logsDir / "launcher.log");
    std::string line, last;
    while (std::getline(in, line)) last = line;
    return last;
  }

  testing::TempDir dir;
  testing::FakeUI ui;
  LaunchSteps steps;
  std::vector<std::string> order;
  std::vector<int> updates;
  std::optional<std::string> notice;
};

TEST_F(LaunchSequence, StepsRunInOrderUntilOneEndsTheRun) {
  using Order = std::vector<std::string>;
  const struct {
    std::vector<int> updates;  // 1: again, 2: quit
    bool xplatFails;
    Order order;
  } cases[] = {{{}, false, {"self-install", "xplat", "update", "rosetta", "game"}},
               {{1, 1, 0},
                false,
                {"self-install", "xplat", "update", "update", "update", "rosetta", "game"}},
               {{1, 2}, false, {"self-install", "xplat", "update", "update"}},
               {{}, true, {"self-install", "xplat"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.order));
    order.clear();
    ui.calls.clear();
    updates = c.updates;
    if (c.xplatFails) steps.xplatCheck = [this] { return note("xplat", false); };
    flow(ui, notice, steps);
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(ui.calls, c.order.back() == "game" ? Order{} : Order{"quit"});
  }
}

TEST_F(LaunchSequence, TestStopOnlyForTheExactValueOne) {
  cfg.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  flow(ui, notice, steps);
  EXPECT_EQ(order.back(), "rosetta");
  EXPECT_TRUE(lastLogLine().ends_with(" test: stop before the game start"));
  EXPECT_EQ(ui.calls, std::vector<std::string>{"quit"});

  for (const char* value : {"0", "yes", "1 "}) {
    order.clear();
    cfg.env["KALDRA_TEST_STOP_BEFORE_GAME"] = value;
    flow(ui, notice, steps);
    EXPECT_EQ(order.back(), "game") << value;
  }
}

TEST_F(LaunchSequence, NoticeIsShownOnceBeforeEverything) {
  notice = "The update was rolled back.";
  flow(ui, notice, steps);
  ASSERT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(ui.dialogs[0].message, "The update was rolled back.");
  EXPECT_EQ(ui.dialogs[0].buttons, std::vector<std::string>{"btn_continue"});
  EXPECT_EQ(ui.dialogs[0].style, AlertStyle::informational);
  EXPECT_FALSE(notice);
  EXPECT_EQ(order.front(), "self-install");
}

}  // namespace
}  // namespace kaldra
