// Kill -9 at every step boundary of a bundle exchange, then start the launcher again
// until it settles: the install path must always hold one complete, sealed bundle.
// An outside killer watches the plan, the log and the bundles, so the product carries
// no test hooks. KALDRA_CRASH_CELLS_CI picks the few cells CI runs; the full matrix
// is run by hand (ctest -L crash).
#include <gtest/gtest.h>
#include <signal.h>

#include <regex>
#include <thread>

#include "platform/spawn.h"
#include "proc/process_queries.h"
#include "swap/bundle_identity.h"
#include "swap/swap_plan.h"
#include "tests/support/launcher_run.h"
#include "tests/support/swap_bundles.h"

namespace kaldra::testing {
namespace {

enum class Victim { preparer, helper, newLauncher };

// What the killer sees at one look.
struct Seen {
  std::optional<SwapPlan> plan;
  std::string targetVersion;
  bool stageExists = false;
  bool preparerAlive = false;
  Pid newLauncher = 0;  // a launcher running from the target
  std::vector<std::string> log;

  bool logged(const std::string& prefix) const {
    return std::any_of(log.begin(), log.end(),
                       [&](const std::string& line) { return line.starts_with(prefix); });
  }
  bool state(const char* s) const { return plan && plan->state == s; }
};

struct Cell {
  const char* name;
  Victim victim;
  bool failStart;  // the new version fails before confirming
  std::function<bool(const Seen&)> when;
};

// Names the cell in test listings instead of dumping its bytes.
void PrintTo(const Cell& cell, std::ostream* out) {
  *out << cell.name;
}

const std::vector<Cell>& allCells() {
  static const std::vector<Cell> cells = {
      {"PreparerCopying", Victim::preparer, false,
       [](const Seen& s) { return s.stageExists && !s.plan; }},
      {"PreparerStaged", Victim::preparer, false,
       [](const Seen& s) { return s.state("staged") && s.plan->helper == 0; }},
      {"HelperRecorded", Victim::helper, false,
       [](const Seen& s) { return s.state("staged") && s.plan->helper > 0; }},
      {"HelperVerifying", Victim::helper, false,
       [](const Seen& s) { return s.state("staged") && s.plan->helper > 0 && !s.preparerAlive; }},
      {"HelperExchanged", Victim::helper, false,
       [](const Seen& s) { return s.targetVersion == "2.0.0"; }},
      {"HelperSwapped", Victim::helper, false, [](const Seen& s) { return s.state("swapped"); }},
      {"HelperWaiting", Victim::helper, true,
       [](const Seen& s) { return s.logged("test: start of 2.0.0 fails"); }},
      {"HelperSwappedBack", Victim::helper, true,
       [](const Seen& s) { return s.state("swapped") && s.targetVersion == "1.0.0"; }},
      {"HelperRolledBack", Victim::helper, true,
       [](const Seen& s) { return s.state("rolled-back"); }},
      {"NewLauncherStarting", Victim::newLauncher, false,
       [](const Seen& s) { return s.state("swapped") && s.newLauncher > 0; }},
      {"NewLauncherConfirmed", Victim::newLauncher, false,
       [](const Seen& s) { return s.state("confirmed") && s.newLauncher > 0; }},
      {"NewLauncherSettled", Victim::newLauncher, false,
       [](const Seen& s) { return !s.plan && s.logged("self-update 1.0.0 -> 2.0.0 confirmed"); }},
      {"RestoredLauncherStarting", Victim::newLauncher, true,
       [](const Seen& s) { return s.state("rolled-back") && s.newLauncher > 0; }},
  };
  return cells;
}

std::vector<Cell> chosenCells() {
#ifdef KALDRA_CRASH_CELLS_CI
  std::vector<Cell> chosen;
  for (const auto& cell : allCells())
    for (const char* name : {"PreparerCopying", "HelperExchanged", "NewLauncherStarting"})
      if (std::string_view(cell.name) == name) chosen.push_back(cell);
  return chosen;
#else
  return allCells();
#endif
}

class CrashMatrix : public ::testing::TestWithParam<Cell> {
 protected:
  CrashMatrix() {
    run.env["KALDRA_TEST_STOP_BEFORE_GAME"] = "1";
    // A restored launcher shows its notice; every start answers it.
    run.env["KALDRA_TEST_ANSWERS"] = "0";
    run.env["KALDRA_TEST_ANSWERS_AFTER_SWAP"] = "0";
    addSwapDriver(run);
    copyAsVersion(run.app(), v2, "2.0.0");
  }

  Seen look(Pid preparer) const {
    Seen s;
    s.plan = readPlan(run.dataDir() / "xplat/mac-swap.json");
    auto info = bundleInfo(run.app());
    s.targetVersion = info ? info->version : "";
    s.stageExists = fs::exists(run.dataDir() / "xplat/mac-swap");
    s.preparerAlive = !platform::exitStatusIfEnded(preparer).has_value();
    s.log = run.logLines();
    std::string exe = (run.app() / "Contents/MacOS/Kaldrith").string();
    for (Pid pid : processesInside(run.app()))
      if (pidPath(pid) == exe) s.newLauncher = pid;
    return s;
  }

  Pid helperPid(const Seen& s) const {
    if (s.plan && s.plan->helper > 0) return s.plan->helper;
    std::smatch match;
    static const std::regex spawned("swap helper spawn rc=0 pid=([0-9]+)");
    for (const auto& line : s.log)
      if (std::regex_match(line, match, spawned)) return std::stoi(match[1]);
    return 0;
  }

  LauncherRun run;
  fs::path v2 = run.root() / "download/Kaldrith.app";
};

TEST_P(CrashMatrix, KilledAtThisStepStillLeavesOneWorkingBundle) {
  const Cell& cell = GetParam();
  if (cell.failStart) run.env["KALDRA_TEST_FAIL_START"] = "2.0.0";
  Pid preparer =
      run.spawn(run.app() / "Contents/MacOS/swap-driver",
                {"prepare", "update", v2.string(), run.app().string(), "1.0.0", "2.0.0"});
  ASSERT_GT(preparer, 0);

  bool killed = false;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!killed && std::chrono::steady_clock::now() < deadline) {
    Seen s = look(preparer);
    if (cell.when(s)) {
      Pid victim = cell.victim == Victim::preparer ? preparer
                   : cell.victim == Victim::helper ? helperPid(s)
                                                   : s.newLauncher;
      killed = victim > 0 && ::kill(victim, SIGKILL) == 0;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(killed) << cell.name << ": the step was never seen";
  platform::exitStatusIfEnded(preparer) || platform::waitForExit(preparer);

  // Start the launcher again, as a player would, until nothing is left to settle.
  run.env.erase("KALDRA_TEST_FAIL_START");
  fs::path plan = run.dataDir() / "xplat/mac-swap.json";
  fs::path stage = run.dataDir() / "xplat/mac-swap";
  for (int start = 0; start < 4; ++start) {
    ASSERT_TRUE(waitForHelper(run, run.app(), std::chrono::seconds(240)));
    if (!fs::exists(plan) && !fs::exists(stage)) break;
    run.start();
  }
  ASSERT_TRUE(waitForHelper(run, run.app(), std::chrono::seconds(240)));
  std::string why;
  EXPECT_TRUE(sealHolds(run.app(), &why)) << why;
  auto info = bundleInfo(run.app());
  ASSERT_TRUE(info);
  EXPECT_TRUE(info->version == "1.0.0" || info->version == "2.0.0") << info->version;
  EXPECT_FALSE(fs::exists(plan));
  EXPECT_FALSE(fs::exists(stage));
  std::printf("cell %s: bundle %s\n", cell.name, info->version.c_str());
}

INSTANTIATE_TEST_SUITE_P(Cells, CrashMatrix, ::testing::ValuesIn(chosenCells()),
                         [](const auto& cellInfo) { return std::string(cellInfo.param.name); });

}  // namespace
}  // namespace kaldra::testing
