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

// An Intel machine needs no probe and a working one asks nothing; an install is noticed
// on the third cycle, about six seconds after the trigger was opened, before the first
// pause and once.
TEST_F(Rosetta, NothingToDoStartsNothingAndAnInstallIsNoticedOnTheThirdCycle) {
  const Lines opened{"openApplication " + (cfg.res / "RosettaCheck.app").string()};
  const struct {
    bool appleSilicon;
    int worksFromProbe, probes;
    std::chrono::milliseconds slept;
    Lines calls, logged;
    std::vector<testing::ShownStatus> shown;
  } cases[] = {{false, 1, 0, 0ms, {}, {}, {}},
               {true, 1, 1, 0ms, {}, {}, {}},
               {true,
                4,
                4,
                6s,
                opened,
                {"rosetta missing", "rosetta installed"},
                {{"Waiting for Rosetta", {}, ""}}}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.probes);
    appleSilicon = c.appleSilicon;
    worksFromProbe = c.worksFromProbe;
    probes = 0;
    EXPECT_TRUE(ensureRosetta(ui, machine()));
    EXPECT_EQ(std::tuple(probes, slept, callsAtFirstSleep, ui.callsSnapshot(), ui.statuses),
              std::tuple(c.probes, c.slept, c.calls, c.calls, c.shown));
    EXPECT_EQ(ui.dialogs.size(), c.calls.size());
    EXPECT_EQ(testing::launcherLogLines(cfg.logsDir), c.logged);
  }
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
