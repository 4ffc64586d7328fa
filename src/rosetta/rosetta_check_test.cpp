#include "rosetta/rosetta_check.h"

#include <gtest/gtest.h>

#include <fstream>

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

// An Intel machine needs no probe; a working probe asks nothing.
TEST_F(Rosetta, NothingToDoStartsNothing) {
  for (bool intel : {true, false}) {
    SCOPED_TRACE(intel ? "intel" : "probe works");
    appleSilicon = !intel;
    probes = 0;
    EXPECT_TRUE(ensureRosetta(ui, machine()));
    EXPECT_EQ(probes, intel ? 0 : 1);
    EXPECT_TRUE(ui.dialogs.empty() && slept == 0ms);
    EXPECT_FALSE(fs::exists(cfg.logsDir / "launcher.log"));
  }
}

TEST_F(Rosetta, InstallNoticedOnTheThirdCycleAboutSixSecondsAfterTheTrigger) {
  worksFromProbe = 4;  // the first probe, then three cycles
  EXPECT_TRUE(ensureRosetta(ui, machine()));
  EXPECT_EQ(slept, 6s);
  EXPECT_EQ(probes, 4);
  // The trigger is opened before the first pause, once.
  Lines opened{"openApplication " + (cfg.res / "RosettaCheck.app").string()};
  EXPECT_EQ(callsAtFirstSleep, opened);
  EXPECT_EQ(ui.callsSnapshot(), opened);
  EXPECT_EQ(ui.statuses, (std::vector<testing::ShownStatus>{{"Waiting for Rosetta", {}, ""}}));
  EXPECT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(testing::launcherLogLines(cfg.logsDir),
            (Lines{"rosetta missing", "rosetta installed"}));
}

// The wait ends after 600 cycles of 2 s: an install noticed on the last cycle still counts.
// Where nothing can install the layer, the player hears so at once.
TEST_F(Rosetta, WaitEndsAfterTwentyMinutesOrAtOnceWhereNothingCanInstall) {
  struct Case {
    bool installable;
    int worksFromProbe;
    bool result;
    std::chrono::milliseconds slept;
    Lines log;
  } cases[] = {
      {true, 601, true, 1200s, {"rosetta missing", "rosetta installed"}},
      {true, 602, false, 1200s, {"rosetta missing"}},
      {false, 2, false, 0s, {"rosetta missing", "rosetta cannot be installed on this system"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.worksFromProbe);
    SetUp();
    fs::remove_all(cfg.logsDir);
    ui.dialogs.clear();
    probes = 0;
    slept = 0ms;
    installable = c.installable;
    worksFromProbe = c.worksFromProbe;
    EXPECT_EQ(ensureRosetta(ui, machine()), c.result);
    EXPECT_EQ(std::pair(slept, testing::launcherLogLines(cfg.logsDir)), std::pair(c.slept, c.log));
    EXPECT_EQ(ui.dialogs.back().message, c.result ? "rosetta_needed" : "rosetta_missing");
  }
}

// The probe runs the updater tool's "version" through the real architecture switch, which
// runs a program only when its tiny x86_64 probe runs.
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
