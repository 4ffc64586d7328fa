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
using testing::FakeUI;
using Lines = std::vector<std::string>;

void writeScript(const fs::path& path, const std::string& body) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

class Rosetta : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.lang = "en";
    cfg.texts = {{"rosetta_needed", "Install Rosetta?"},
                 {"rosetta_wait", "Waiting for Rosetta"},
                 {"rosetta_missing", "Rosetta is missing."},
                 {"btn_install", "Install"},
                 {"btn_quit", "Quit"}};
    cfg.logsDir = dir / "logs";
    cfg.res = dir / "Kaldrith.app/Contents/Resources";
    cfg.updater = cfg.res / "bin/kaldra-update";
  }

  // An Apple-silicon machine whose probe succeeds from its `worksFromProbe`-th run on
  // (counted from 1; 0: never). Sleeping only adds up the time.
  RosettaSystem machine() {
    return {.appleSilicon = [this] { return appleSilicon; },
            .probe =
                [this] {
                  ++probes;
                  return worksFromProbe > 0 && probes >= worksFromProbe;
                },
            .sleep =
                [this](std::chrono::milliseconds pause) {
                  if (slept == 0ms) callsAtFirstSleep = ui.callsSnapshot();
                  slept += pause;
                }};
  }

  Lines logLines() { return testing::launcherLogLines(cfg.logsDir); }

  testing::TempDir dir;
  FakeUI ui;
  bool appleSilicon = true;
  int worksFromProbe = 0;
  int probes = 0;
  std::chrono::milliseconds slept{0};
  Lines callsAtFirstSleep;
};

// An Intel machine needs no probe; a working probe asks nothing.
TEST_F(Rosetta, NothingToDoStartsNothing) {
  for (bool intel : {true, false}) {
    SCOPED_TRACE(intel ? "intel" : "probe works");
    appleSilicon = !intel;
    worksFromProbe = 1;
    probes = 0;
    EXPECT_TRUE(ensureRosetta(ui, machine()));
    EXPECT_EQ(probes, intel ? 0 : 1);
    EXPECT_TRUE(ui.dialogs.empty());
    EXPECT_EQ(slept, 0ms);
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
  ASSERT_EQ(ui.statuses.size(), 1u);
  EXPECT_EQ(ui.statuses[0].text, "Waiting for Rosetta");
  EXPECT_EQ(ui.statuses[0].progress, std::nullopt);
  EXPECT_EQ(ui.statuses[0].detail, "");
  EXPECT_EQ(ui.dialogs.size(), 1u);
  EXPECT_EQ(logLines(), (Lines{"rosetta missing", "rosetta installed"}));
}

// The probe runs the updater tool's "version" through the real architecture switch
// stand-in, which runs x86_64 programs only on an x86_64 machine.
class RosettaProbe : public Rosetta {
 protected:
  void SetUp() override {
    Rosetta::SetUp();
    if (platform::isArm64Machine()) GTEST_SKIP() << "the stand-in runs x86_64 code only";
    fs::create_directories(cfg.res / "platform");
    fs::copy_file(KALDRA_ARCH_TOOL, cfg.res / "platform/arch");
  }
};

TEST_F(RosettaProbe, RunsTheToolsVersionThroughTheArchitectureSwitch) {
  writeScript(cfg.updater, "echo \"$*\" > '" + (dir / "args").string() +
                               "'\n[ \"$1\" = version ] && exit 0\nexit 3\n");
  EXPECT_TRUE(rosettaProbe());
  EXPECT_EQ(testing::readFile(dir / "args"), "version\n");

  writeScript(cfg.updater, "exit 3\n");
  EXPECT_FALSE(rosettaProbe());
}

}  // namespace
}  // namespace kaldra
