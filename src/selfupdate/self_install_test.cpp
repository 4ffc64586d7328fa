#include "selfupdate/self_install.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "selfupdate/declined_marker.h"
#include "selfupdate/test_bundle.h"
#include "tests/support/fake_ui.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::FakeUI;

class SelfInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.env = {{"HOME", home().string()}};
    cfg.bundleID = "com.kaldrith.client";
    cfg.dataDir = dir / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.xplatDir = cfg.dataDir / "xplat";
    cfg.installDir = dir / "Applications";
    cfg.installTarget = cfg.installDir / "Kaldrith.app";
    cfg.swapPlanURL = cfg.xplatDir / "mac-swap.json";
    cfg.texts = {{"mac_install_offer", "Install?"}, {"btn_install", "Install"},
                 {"btn_not_now", "Not now"},        {"mac_install_failed", "Not installed:"},
                 {"btn_continue", "Continue"},      {"mac_installing", "Installing"}};
    fs::create_directories(cfg.logsDir);
    fs::create_directories(cfg.installDir);
    testing::useSourceStandIns(dir / "res");
    runFrom(dir / "Downloads/Kaldrith.app", "1.9");
  }

  fs::path home() const { return dir / "home"; }
  void runFrom(const fs::path& bundle, const std::string& version) {
    cfg.appBundle = bundle;
    cfg.appVersion = version;
  }
  std::string log() const {
    std::stringstream text;
    text << std::ifstream(cfg.logsDir / "launcher.log").rdbuf();
    return text.str();
  }

  testing::TempDir dir;
  FakeUI ui;
};

TEST_F(SelfInstall, InstalledCopiesAreNeverOffered) {
  for (const auto& bundle : {cfg.installTarget, home() / "Applications/Kaldrith.app",
                             home() / "Applications/Games/Kaldrith.app"}) {
    runFrom(bundle, "1.9");
    EXPECT_TRUE(selfInstallCheck(ui)) << bundle;
  }
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_EQ(log(), "");

  runFrom(home() / "Applications2/Kaldrith.app", "1.9");
  ui.answers = {1};
  EXPECT_TRUE(selfInstallCheck(ui));
  EXPECT_EQ(ui.dialogs.size(), 1u);
}

TEST_F(SelfInstall, TheSameOrANewerInstalledLauncherWins) {
  testing::writeSealedBundle(cfg.installTarget, "2.0");
  EXPECT_TRUE(selfInstallCheck(ui));
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_NE(log().find("self-install: " + cfg.installTarget.string() +
                       " already has 2.0 (this copy 1.9 at " + cfg.appBundle.string() +
                       "); running from here"),
            std::string::npos)
      << log();

  for (const auto& [id, version] :
       {std::pair{"com.kaldrith.client", "1.8"}, std::pair{"com.other.app", "9.0"}}) {
    fs::remove_all(cfg.installTarget);
    fs::remove_all(cfg.xplatDir);
    testing::writeSealedBundle(cfg.installTarget, version, id);
    FakeUI fresh;
    fresh.answers = {1};
    EXPECT_TRUE(selfInstallCheck(fresh));
    ASSERT_EQ(fresh.dialogs.size(), 1u) << id;
    EXPECT_EQ(fresh.dialogs[0].message, "Install?");
    EXPECT_EQ(fresh.dialogs[0].buttons, (std::vector<std::string>{"Install", "Not now"}));
    EXPECT_EQ(fresh.dialogs[0].style, AlertStyle::informational);
  }
}

TEST_F(SelfInstall, UnwritableInstallFolderRunsFromHere) {
  cfg.installDir = dir / "missing";
  cfg.installTarget = cfg.installDir / "Kaldrith.app";
  EXPECT_TRUE(selfInstallCheck(ui));
  EXPECT_TRUE(ui.dialogs.empty());
  EXPECT_NE(
      log().find("self-install: " + cfg.installDir.string() + " not writable; running from here"),
      std::string::npos);
}

TEST_F(SelfInstall, DeclineSilencesThisCopyAtThisVersionOnly) {
  ui.answers = {1};
  EXPECT_TRUE(selfInstallCheck(ui));
  std::string key = cfg.appBundle.string() + "|1.9";
  EXPECT_NE(log().find("self-install declined for " + key), std::string::npos);
  EXPECT_EQ(readDeclined(cfg.xplatDir / "self-install-declined.txt"), std::vector{key});
  EXPECT_EQ(fs::status(cfg.xplatDir).permissions(), fs::perms::owner_all);

  EXPECT_TRUE(selfInstallCheck(ui));
  EXPECT_EQ(ui.dialogs.size(), 1u);
  runFrom(cfg.appBundle, "2.0");
  ui.answers = {7};  // any answer but the first declines
  EXPECT_TRUE(selfInstallCheck(ui));
  EXPECT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(readDeclined(cfg.xplatDir / "self-install-declined.txt").size(), 2u);
}

TEST_F(SelfInstall, FailedPreparationTellsThePlayerAndRunsFromHere) {
  testing::writeSealedBundle(cfg.appBundle, "1.8");  // says 1.8, runs as 1.9
  ui.answers = {0};
  EXPECT_TRUE(selfInstallCheck(ui));
  std::string reason =
      "unexpected bundle com.kaldrith.client 1.8 (expected com.kaldrith.client 1.9)";
  EXPECT_NE(log().find("self-install failed: " + reason), std::string::npos) << log();
  ASSERT_EQ(ui.dialogs.size(), 2u);
  EXPECT_EQ(ui.dialogs[1].message, "Not installed: " + reason);
  EXPECT_EQ(ui.dialogs[1].buttons, std::vector<std::string>{"Continue"});
  EXPECT_EQ(ui.statuses.front().text, "Installing");
  EXPECT_FALSE(fs::exists(cfg.installTarget));
}

}  // namespace
}  // namespace kaldra
