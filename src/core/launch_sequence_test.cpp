#include "core/launch_sequence.h"

#include <gtest/gtest.h>

#include "core/config.h"
#include "tests/support/fake_ui.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using Order = std::vector<std::string>;

TEST(LaunchSequence, StepsRunInOrderUntilOneEndsTheRun) {
  testing::TempDir dir;
  cfg.texts.clear();
  cfg.logsDir = dir / "logs";
  const struct {
    std::vector<int> updates;  // 1: again, 2: quit
    bool xplatWorks;
    const char* stop;  // KALDRA_TEST_STOP_BEFORE_GAME
    Order order;
  } cases[] = {{{0}, true, "0", {"self-install", "xplat", "update", "rosetta", "game"}},
               {{1, 1, 0},
                true,
                "1 ",
                {"self-install", "xplat", "update", "update", "update", "rosetta", "game"}},
               {{1, 2}, true, "yes", {"self-install", "xplat", "update", "update"}},
               {{}, false, "", {"self-install", "xplat"}},
               {{0}, true, "1", {"self-install", "xplat", "update", "rosetta"}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.order));
    Order order;
    auto updates = c.updates;
    auto note = [&](const char* step) { return order.push_back(step), true; };
    LaunchSteps steps{.selfInstallCheck = [&] { return note("self-install"); },
                      .xplatCheck = [&] { return note("xplat") && c.xplatWorks; },
                      .update =
                          [&] {
                            note("update");
                            int result = updates.front();
                            updates.erase(updates.begin());
                            return result;
                          },
                      .ensureRosetta = [&] { return note("rosetta"); },
                      .startGame = [&] { note("game"); }};
    cfg.env = {{"KALDRA_TEST_STOP_BEFORE_GAME", c.stop}};
    testing::FakeUI ui;
    std::optional<std::string> notice;
    flow(ui, notice, steps);
    EXPECT_EQ(order, c.order);
    EXPECT_EQ(ui.calls, c.order.back() == "game" ? Order{} : Order{"quit"});
  }
  EXPECT_EQ(testing::launcherLogLines(cfg.logsDir), Order{"test: stop before the game start"});
}

}  // namespace
}  // namespace kaldra
