#include "selfupdate/self_install.h"

#include <gtest/gtest.h>

#include "selfupdate/declined_marker.h"
#include "tests/support/fake_ui.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

using namespace testing;

class SelfInstall : public SwapSandbox {
 protected:
  void SetUp() override {
    SwapSandbox::SetUp();
    cfg.env = {{"HOME", (dir / "home").string()}};
    cfg.installDir = dir / "Applications";
    cfg.installTarget = cfg.installDir / "Kaldrith.app";
    cfg.appBundle = dir / "Downloads/Kaldrith.app";
    cfg.appVersion = "1.9";
    fs::create_directories(cfg.logsDir);
    fs::create_directories(cfg.installDir);
  }
  // How many times the offer was shown across runs from `bundle`, each declined.
  std::size_t offers(const fs::path& bundle) {
    cfg.appBundle = bundle;
    ui.answers = {1};
    EXPECT_TRUE(selfInstallCheck(ui));
    return ui.dialogs.size();
  }

  FakeUI ui;
};

TEST_F(SelfInstall, OfferedOnceToCopiesOutsideTheInstallFolders) {
  EXPECT_EQ(offers(cfg.installTarget), 0u);
  EXPECT_EQ(offers(dir / "home/Applications/Games/Kaldrith.app"), 0u);
  EXPECT_EQ(offers(dir / "home/Applications2/Kaldrith.app"), 1u);
  EXPECT_EQ(offers(dir / "home/Applications2/Kaldrith.app"), 1u);
  cfg.appVersion = "2.0";
  EXPECT_EQ(offers(dir / "home/Applications2/Kaldrith.app"), 2u);
  EXPECT_EQ(fs::status(cfg.xplatDir).permissions(), fs::perms::owner_all);

  fs::remove_all(cfg.xplatDir);
  writeSealedBundle(cfg.installTarget, "2.0");
  EXPECT_EQ(offers(cfg.appBundle), 2u);
  cfg.appVersion = "2.1";
  EXPECT_EQ(offers(cfg.appBundle), 3u);
}

TEST_F(SelfInstall, FailedPreparationTellsThePlayerAndRunsFromHere) {
  writeSealedBundle(cfg.appBundle, "1.8");  // says 1.8, runs as 1.9
  EXPECT_TRUE(selfInstallCheck(ui));
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message,
            "mac_install_failed unexpected bundle com.kaldrith.client 1.8 (expected "
            "com.kaldrith.client 1.9)");
  EXPECT_FALSE(fs::exists(cfg.installTarget));
}

TEST(DeclinedMarker, KeepsTheLatestTwentyInTheirOrder) {
  TempDir dir;
  auto file = dir / "declined.txt";
  std::vector<std::string> expected;
  for (int i = 1; i <= 25; ++i) {
    std::string key = "/p/Kaldrith.app|1." + std::to_string(i);
    ASSERT_TRUE(writeDeclined(file, withDeclined(readDeclined(file), key)));
    if (i > 5) expected.push_back(key);
  }
  EXPECT_EQ(readDeclined(file), expected);
  EXPECT_FALSE(writeDeclined(dir / "missing/m", {"/a.app|1"}));
}

}  // namespace
}  // namespace kaldra
