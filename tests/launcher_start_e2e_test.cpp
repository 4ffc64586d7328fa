// The launcher's start as a player and a test script see it: the run modes, the start
// line, the chosen language and the text table.
#include <gtest/gtest.h>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

TEST(LauncherStart, StartLineNamesLocaleLanguageDataArchitectureVersionAndBundle) {
  LauncherRun run;
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  run.env["KALDRA_LANG"] = "FR";  // not a code: the locale decides
  run.env["LANGUAGE"] = "pt_BR:pl_PL";
  RunResult result = run.start();
  ASSERT_FALSE(result.timedOut) << result.output;
  EXPECT_EQ(result.status, 0);
  auto lines = run.logLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front(),
            "start lang=pl data=" + run.dataDir().string() +
                " arch=x86_64 version=1.0.0 app=" + fs::canonical(run.app()).string());
  EXPECT_EQ(lines.back(), "test: stop before the game start");
}

TEST(LauncherStart, SwapHelperCommandLineNeedsNoDisplay) {
  LauncherRun run;
  run.env["QT_QPA_PLATFORM"] = "no-such-platform";  // an application object would abort
  RunResult result =
      run.start(std::chrono::seconds(30), {"--kaldra-swap", "/nonexistent/plan.json"});
  EXPECT_FALSE(result.timedOut);
  EXPECT_EQ(result.status, 2) << result.output;
  EXPECT_EQ(run.logLines().back(), "swap helper: no staged plan in /nonexistent/plan.json");
  EXPECT_TRUE(run.snapshots().empty());
}

// Any other command line is the normal start, its arguments ignored: the toolkit's own
// options among them must not reach it (an unknown platform would abort).
TEST(LauncherStart, OtherCommandLinesStartTheNormalLauncherAndNeverReachTheToolkit) {
  LauncherRun run;
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  for (auto args :
       {std::vector<std::string>{"--kaldra-swap"},
        std::vector<std::string>{"--kaldra-swap", "/p", "extra"},
        std::vector<std::string>{"-platform", "bogus", "-reverse", "-qwindowtitle", "X"}}) {
    RunResult result = run.start(std::chrono::seconds(30), args);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().back(), "test: stop before the game start");
  }
}

}  // namespace
}  // namespace kaldra::testing
