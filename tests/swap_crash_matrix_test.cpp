// Kill -9 at every step of a bundle exchange, then start the launcher again until it
// settles: the install path must always hold one complete, sealed bundle. An outside
// killer watches the plan, the log and the bundles, so the product carries no test hooks.
#include <gtest/gtest.h>
#include <signal.h>

#include <thread>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/swap_plan.h"
#include "tests/support/swap_bundles.h"

namespace kaldra::testing {
namespace {

enum Victim { kPreparer, kHelper, kNewLauncher };

// What the killer sees at one look; `state` is the plan's, empty without a plan.
struct Seen {
  std::string state, version;
  Pid helper = 0, newLauncher = 0;
  bool staging = false, preparerAlive = false;
  std::vector<std::string> log;

  bool logged(const std::string& prefix) const {
    return std::any_of(log.begin(), log.end(), [&](auto& l) { return l.starts_with(prefix); });
  }
};

struct Cell {
  const char* name;
  Victim victim;
  bool failStart;  // the new version fails before confirming
  bool (*when)(const Seen&);
};

using S = const Seen&;
const Cell kCells[] = {
    {"PreparerCopying", kPreparer, 0, [](S s) { return s.staging && s.state.empty(); }},
    {"PreparerStaged", kPreparer, 0, [](S s) { return s.state == "staged" && !s.helper; }},
    {"HelperRecorded", kHelper, 0, [](S s) { return s.state == "staged" && s.helper; }},
    {"HelperVerifying", kHelper, 0,
     [](S s) { return s.state == "staged" && s.helper && !s.preparerAlive; }},
    {"HelperExchanged", kHelper, 0, [](S s) { return s.version == "2.0.0"; }},
    {"HelperSwapped", kHelper, 0, [](S s) { return s.state == "swapped"; }},
    {"HelperWaiting", kHelper, 1, [](S s) { return s.logged("test: start of 2.0.0 fails"); }},
    {"HelperSwappedBack", kHelper, 1,
     [](S s) { return s.state == "swapped" && s.version == "1.0.0"; }},
    {"HelperRolledBack", kHelper, 1, [](S s) { return s.state == "rolled-back"; }},
    {"NewLauncherStarting", kNewLauncher, 0,
     [](S s) { return s.state == "swapped" && s.newLauncher; }},
    {"NewLauncherConfirmed", kNewLauncher, 0,
     [](S s) { return s.state == "confirmed" && s.newLauncher; }},
    {"NewLauncherSettled", kNewLauncher, 0,
     [](S s) { return s.state.empty() && s.logged("self-update 1.0.0 -> 2.0.0 confirmed"); }},
    {"RestoredLauncherStarting", kNewLauncher, 1,
     [](S s) { return s.state == "rolled-back" && s.newLauncher; }},
};

// Keeps ctest's test names stable: without it they would carry the cell's bytes.
void PrintTo(const Cell& cell, std::ostream* out) {
  *out << cell.name;
}

class CrashMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  Seen look(Pid preparer) const {
    auto plan = readPlan(run.dataDir() / "xplat/mac-swap.json");
    auto info = bundleInfo(run.app());
    Seen s{.state = plan ? plan->state : "",
           .version = info ? info->version : "",
           .helper = plan ? plan->helper : 0,
           .staging = fs::exists(run.dataDir() / "xplat/mac-swap"),
           .preparerAlive = !platform::exitStatusIfEnded(preparer).has_value(),
           .log = run.logLines()};
    for (Pid pid : processesInside(run.app()))
      if (pidPath(pid) == (run.app() / "Contents/MacOS/Kaldrith").string()) s.newLauncher = pid;
    return s;
  }

  LauncherRun run;
};

TEST_P(CrashMatrix, KilledAtThisStepStillLeavesOneWorkingBundle) {
  const Cell& cell = GetParam();
  run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
  // A restored launcher shows its notice; every start answers it.
  run.env["KALDRA_TEST_ANSWERS"] = run.env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "0";
  if (cell.failStart) run.env["KALDRA_TEST_FAIL_START"] = "2.0.0";
  fs::path v2 = addSwapDriver(run);
  Pid preparer =
      run.spawn(run.app() / "Contents/MacOS/swap-driver",
                {"prepare", "update", v2.string(), run.app().string(), "1.0.0", "2.0.0"});
  ASSERT_GT(preparer, 0);

  bool killed = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!killed && std::chrono::steady_clock::now() < deadline) {
    Seen s = look(preparer);
    if (cell.when(s)) {
      Pid victim = cell.victim == kPreparer      ? preparer
                   : cell.victim == kNewLauncher ? s.newLauncher
                                                 : s.helper;
      killed = victim > 0 && ::kill(victim, SIGKILL) == 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(killed) << "the step was never seen";
  platform::exitStatusIfEnded(preparer) || platform::waitForExit(preparer);

  // Start the launcher again, as a player would, until nothing is left to settle.
  run.env.erase("KALDRA_TEST_FAIL_START");
  for (int start = 0;; ++start) {
    ASSERT_TRUE(waitForHelper(run, run.app(), std::chrono::seconds(240)));
    if (start == 4 || (!fs::exists(run.dataDir() / "xplat/mac-swap.json") &&
                       !fs::exists(run.dataDir() / "xplat/mac-swap")))
      break;
    run.start();
  }
  std::string version = expectSettled(run, run.app());
  EXPECT_TRUE(version == "1.0.0" || version == "2.0.0") << version;
}

INSTANTIATE_TEST_SUITE_P(Cells, CrashMatrix, ::testing::ValuesIn(kCells),
                         [](const auto& cell) { return std::string(cell.param.name); });

}  // namespace
}  // namespace kaldra::testing
