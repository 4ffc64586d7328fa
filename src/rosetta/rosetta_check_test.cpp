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
            .sleep =
                [this](std::chrono::milliseconds pause) {
                  if (slept == 0ms) callsAtFirstSleep = ui.callsSnapshot();
                  slept += pause;
                }};
  }

  testing::TempDir dir;
  testing::FakeUI ui;
  bool appleSilicon = true;
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

// The probe runs the updater tool's "version" through the real architecture switch
// stand-in, which runs x86_64 programs only on an x86_64 machine.
TEST_F(Rosetta, ProbeRunsTheToolsVersionThroughTheArchitectureSwitch) {
  if (platform::isArm64Machine()) GTEST_SKIP() << "the stand-in runs x86_64 code only";
  fs::create_directories(cfg.res / "platform");
  fs::create_directories(cfg.res / "bin");
  fs::copy_file(KALDRA_ARCH_TOOL, cfg.res / "platform/arch");
  for (bool works : {true, false}) {
    std::ofstream(cfg.updater) << "#!/bin/sh\necho \"$*\" > '" << (dir / "args").string()
                               << "'\n[ \"$1\" = version ] && exit " << (works ? 0 : 3) << "\n";
    fs::permissions(cfg.updater, fs::perms::owner_all);
    EXPECT_EQ(rosettaProbe(), works);
    EXPECT_EQ(testing::readFile(dir / "args"), "version\n");
  }
}

}  // namespace
}  // namespace kaldra
