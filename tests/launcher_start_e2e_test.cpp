// The launcher's run modes, start line and language, as a player and a script see them.
#include <gtest/gtest.h>

#include "tests/support/launcher_run.h"

namespace kaldra::testing {
namespace {

// Any other command line is the normal start; toolkit options never reach the toolkit.
TEST(LauncherStart, EveryOtherCommandLineStartsTheNormalLauncherAndNeverReachesTheToolkit) {
  LauncherRun run;
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  run.env["KALDRA_LANG"] = "FR";  // not a code: the locale decides
  run.env["LANGUAGE"] = "pt_BR:pl_PL";
  for (auto args : {std::vector<std::string>{},
                    {"--kaldra-swap"},
                    {"--kaldra-swap", "/p", "x"},
                    {"-platform", "bogus", "-reverse", "-qwindowtitle", "X"}}) {
    SCOPED_TRACE(::testing::PrintToString(args));
    fs::remove(run.logsDir() / "launcher.log");
    RunResult result = run.start(std::chrono::seconds(30), args);
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(run.logLines().front(),
              "start lang=pl data=" + run.dataDir().string() +
                  " arch=x86_64 version=1.0.0 app=" + fs::canonical(run.app()).string());
    EXPECT_EQ(run.logLines().back(), "test: stop before the game start");
  }
}

}  // namespace
}  // namespace kaldra::testing
