#include "selfupdate/self_install.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "selfupdate/disk_image_install.h"
#include "selfupdate/sha256_file.h"
#include "selfupdate/step_failure.h"
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

  // A FIFO in the marker's place is no marker, and is never waited on.
  fs::remove_all(cfg.xplatDir);
  fs::create_directories(cfg.xplatDir);
  ::mkfifo((cfg.xplatDir / "self-install-declined.txt").c_str(), 0600);
  EXPECT_EQ(offers(cfg.appBundle), 3u);
  fs::remove_all(cfg.xplatDir);
  writeSealedBundle(cfg.installTarget, "2.0");
  EXPECT_EQ(offers(cfg.appBundle), 3u);
  cfg.appVersion = "2.1";
  EXPECT_EQ(offers(cfg.appBundle), 4u);
  // Only the latest twenty declines are remembered.
  for (int i = 0; i < 20; ++i) offers(dir / ("home/A" + std::to_string(i)) / "Kaldrith.app");
  EXPECT_EQ(offers(dir / "home/Applications2/Kaldrith.app"), 25u);
}

// The real disk-image and seal stand-ins, up to the exchange (the end-to-end test's part).
TEST_F(SelfInstall, FailuresAreToldAndTheImageIsAlwaysDetached) {
  fs::path image = dir / "Kaldrith-2.0.dmg";
  testing::writeSealedBundle(dir / "content/Kaldrith.app", "2.0");
  testing::makeImage(dir / "content", image);
  // A digest that does not match, or none at all, stops everything.
  for (const std::string& digest : {std::string(64, '0'), std::string()})
    EXPECT_TRUE(failureOf([&] { installFromDMG(image, digest, "2.0"); }));
  EXPECT_FALSE(fs::exists(cfg.xplatDir));  // the digest comes before anything is made
  EXPECT_FALSE(sha256File(dir.path()));    // a folder opens but does not read
  // A crashed launcher with this process id left its image attached, the folder half gone.
  fs::create_directories(mountFolder() / "stale");
  std::ofstream(cfg.xplatDir / ("." + mountFolder().filename().string() + ".hdiutil-attached"))
      << image.string();

  // The digest as the feed may write it, in capitals; the image holds 2.0, not 2.0.0.
  std::string digest = *sha256File(image);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* expected :
       {"unexpected bundle com.kaldrith.client 2.0 (expected com.kaldrith.client 2.0.0)",
        "mount failed: hdiutil: attach failed"}) {
    auto failure = failureOf([&] { installFromDMG(image, digest, "2.0.0"); });
    EXPECT_TRUE(failure.value_or("").starts_with(expected)) << failure.value_or("installed");
    EXPECT_TRUE(!fs::exists(cfg.xplatDir) || fs::is_empty(cfg.xplatDir));
    std::ofstream(image, std::ios::trunc) << "not a disk image";
    digest = *sha256File(image);
  }
}

}  // namespace
}  // namespace kaldra
