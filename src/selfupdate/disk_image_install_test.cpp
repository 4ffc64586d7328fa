#include "selfupdate/disk_image_install.h"

#include <gtest/gtest.h>

#include <fstream>

#include "selfupdate/sha256_file.h"
#include "selfupdate/test_bundle.h"
#include "swap/swap_error.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

// The real disk-image and seal stand-ins; everything stops before the exchange, which
// the end-to-end self-update covers.
class DiskImageInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    cfg = Config{};
    cfg.bundleID = "com.kaldrith.client";
    cfg.xplatDir = dir / "xplat";
    cfg.appBundle = dir / "installed/Kaldrith.app";
    cfg.appVersion = "1.0";
    testing::useSourceStandIns(dir / "res");
    testing::writeSealedBundle(dir / "content/Kaldrith.app", "2.0");
    testing::makeImage(dir / "content", image);
  }

  // The error installFromDMG throws, or "" when it returns.
  std::string installError(const std::string& sha256, const std::string& version = "2.0") {
    try {
      installFromDMG(image, sha256, version);
    } catch (const SwapError& error) {
      return error.text;
    }
    return "";
  }

  // Nothing attached, no mount folder, no marker.
  bool leftNothingBehind() const { return !fs::exists(cfg.xplatDir) || fs::is_empty(cfg.xplatDir); }

  testing::TempDir dir;
  fs::path image = dir / "Kaldrith-2.0.dmg";
};

TEST_F(DiskImageInstall, DigestIsCheckedBeforeAnythingIsCreated) {
  std::string digest = *sha256File(image);
  const std::string kMismatch = "package hash does not match the signed channel";
  for (const std::string& given : {std::string(), digest.substr(1), digest + "0",
                                   std::string(64, '0'), digest.substr(0, 63) + "g"}) {
    EXPECT_EQ(installError(given), kMismatch) << given;
    EXPECT_FALSE(fs::exists(cfg.xplatDir)) << given;
  }
  fs::remove(image);
  EXPECT_EQ(installError(digest), kMismatch);
  EXPECT_FALSE(fs::exists(cfg.xplatDir));
}

TEST_F(DiskImageInstall, BundleThatFailsItsCheckIsDetachedAndTheFolderRemoved) {
  std::string upper = *sha256File(image);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_EQ(installError(upper, "3.0"),
            "unexpected bundle com.kaldrith.client 2.0 (expected com.kaldrith.client 3.0)");
  EXPECT_TRUE(leftNothingBehind());
}

TEST_F(DiskImageInstall, BundleChangedAfterSealingIsRefused) {
  std::ofstream(dir / "content/Kaldrith.app/Contents/MacOS/Kaldrith", std::ios::app) << "evil\n";
  fs::remove(image);
  testing::makeImage(dir / "content", image);
  EXPECT_TRUE(installError(*sha256File(image)).starts_with("signature check failed: "));
  EXPECT_TRUE(leftNothingBehind());
}

TEST_F(DiskImageInstall, WhatIsNoImageFailsToMount) {
  std::ofstream(image, std::ios::trunc) << "not a disk image";
  std::string error = installError(*sha256File(image));
  EXPECT_TRUE(error.starts_with("mount failed: hdiutil: attach failed")) << error;
  EXPECT_TRUE(leftNothingBehind());
}

TEST_F(DiskImageInstall, LeftOverMountFolderOfThisProcessIsReplaced) {
  fs::create_directories(mountFolder() / "stale");
  EXPECT_TRUE(installError(*sha256File(image), "3.0").starts_with("unexpected bundle"));
  EXPECT_TRUE(leftNothingBehind());
}

}  // namespace
}  // namespace kaldra
