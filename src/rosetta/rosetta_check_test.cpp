#include "rosetta/rosetta_check.h"

#include <gtest/gtest.h>

#include <fstream>
#include <tuple>

#include "core/config.h"
#include "platform/machine.h"
#include "tests/support/fake_ui.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using namespace std::chrono_literals;
using Lines = std::vector<std::string>;

class Rosetta : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.texts = {{"rosetta_wait", "Waiting for Rosetta"}};
    cfg.logsDir = dir / "logs";
    cfg.res = dir / "Kaldrith.app/Contents/Resources";
    cfg.updater = cfg.res / "bin/kaldra-update";
  }

  // An Apple-silicon machine whose probe succeeds from its `worksFromProbe`-th run on.
  // Sleeping only adds up the time.
  RosettaSystem machine() {
    return {.appleSilicon = [this] { return appleSilicon; },
            .probe = [this] { return ++probes >= worksFromProbe; },
            .installable = [this] { return installable; },
            .sleep =
                [this](std::chrono::milliseconds pause) {
                  if (slept == 0ms) callsAtFirstSleep = ui.callsSnapshot();
                  slept += pause;
                }};
  }

  testing::TempDir dir;
  testing::FakeUI ui;
  bool appleSilicon = true;
  bool installable = true;
  int worksFromProbe = 1;
  int probes = 0;
  std::chrono::milliseconds slept{0};
  Lines callsAtFirstSleep;
};

// Intel: no probe; a working probe: no question. Else the trigger opens once before up to
// 600 pauses of 2 s (the last still counts); if nothing can install it, the player hears so.
TEST_F(Rosetta, ProbeTriggerAndAWaitOfUpToTwentyMinutes) {
  const Lines none, missing{"rosetta missing"}, installed{"rosetta missing", "rosetta installed"};
  struct Case {
    bool appleSilicon, installable;
    int worksFromProbe;
    bool result;
    std::chrono::milliseconds slept;
    int probes;
    Lines log;
    std::string dialog;  // the last one shown
  } cases[] = {
      {false, true, 1, true, 0s, 0, none, ""},
      {true, true, 1, true, 0s, 1, none, ""},
      {true, true, 4, true, 6s, 4, installed, "rosetta_needed"},
      {true, true, 601, true, 1200s, 601, installed, "rosetta_needed"},
      {true, true, 602, false, 1200s, 601, missing, "rosetta_missing"},
      {true,
       false,
       2,
       false,
       0s,
       1,
       {"rosetta missing", "rosetta cannot be installed on this system"},
       "rosetta_missing"},
  };
  const Lines opened{"openApplication " + (cfg.res / "RosettaCheck.app").string()};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.worksFromProbe);
    fs::remove_all(cfg.logsDir);
    ui.dialogs.clear();
    ui.statuses.clear();
    ui.calls.clear();
    callsAtFirstSleep.clear();
    std::tie(appleSilicon, installable, worksFromProbe, probes, slept) =
        std::tuple(c.appleSilicon, c.installable, c.worksFromProbe, 0, 0ms);
    EXPECT_EQ(ensureRosetta(ui, machine()), c.result);
    EXPECT_EQ(std::tuple(slept, probes, testing::launcherLogLines(cfg.logsDir)),
              std::tuple(c.slept, c.probes, c.log));
    EXPECT_EQ(ui.dialogs.empty() ? "" : ui.dialogs.back().message, c.dialog);
    if (c.slept == 0s) continue;
    EXPECT_EQ(std::pair(callsAtFirstSleep, ui.callsSnapshot()), std::pair(opened, opened));
    EXPECT_EQ(ui.statuses, (std::vector<testing::ShownStatus>{{"Waiting for Rosetta", {}, ""}}));
  }
}

// The tool's "version" through the real architecture switch and its tiny x86_64 probe.
TEST_F(Rosetta, ProbeRunsTheToolsVersionThroughTheArchitectureSwitch) {
  fs::create_directories(cfg.res / "bin");
  fs::copy(KALDRA_PLATFORM_TOOLS, cfg.res / "platform");
  for (const std::string twist : {"works", "tool fails", "no x86_64 code runs"}) {
    SCOPED_TRACE(twist);
    std::ofstream(cfg.updater) << "#!/bin/sh\necho \"$*\" > '" << (dir / "args").string()
                               << "'\n[ \"$1\" = version ] && exit "
                               << (twist == "tool fails" ? 3 : 0) << "\n";
    fs::permissions(cfg.updater, fs::perms::owner_all);
    // What an ARM64 machine without an emulator sees: x86_64 code that cannot be executed.
    if (twist == "no x86_64 code runs") std::ofstream(cfg.res / "platform/x86_64-probe") << "\x7f";
    fs::remove(dir / "args");
    EXPECT_EQ(rosettaProbe(), twist == "works");
    EXPECT_EQ(testing::readFile(dir / "args"), twist == "no x86_64 code runs" ? "" : "version\n");
  }
}

}  // namespace
}  // namespace kaldra
