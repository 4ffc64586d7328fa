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
    testing::useSourceStandIns(dir / "res");
    testing::writeSealedBundle(dir / "content/Kaldrith.app", "2.0");
    testing::makeImage(dir / "content", image);
  }

  // The error installFromDMG throws, "" when it returns; asserts nothing stays behind.
  std::string installError(const std::string& version = "2.0") {
    std::string text;
    try {
      installFromDMG(image, *sha256File(image), version);
    } catch (const SwapError& error) {
      text = error.text;
    }
    EXPECT_TRUE(!fs::exists(cfg.xplatDir) || fs::is_empty(cfg.xplatDir)) << text;
    return text;
  }

  testing::TempDir dir;
  fs::path image = dir / "Kaldrith-2.0.dmg";
};

TEST_F(DiskImageInstall, FailuresAreToldAndTheImageIsAlwaysDetached) {
  EXPECT_THROW(installFromDMG(image, std::string(64, '0'), "2.0"), SwapError);
  EXPECT_FALSE(fs::exists(cfg.xplatDir));  // the digest comes before anything is made
  fs::create_directories(mountFolder() / "stale");
  EXPECT_EQ(installError("3.0"),
            "unexpected bundle com.kaldrith.client 2.0 (expected com.kaldrith.client 3.0)");

  std::ofstream(dir / "content/Kaldrith.app/Contents/MacOS/Kaldrith", std::ios::app) << "evil\n";
  fs::remove(image);
  testing::makeImage(dir / "content", image);
  EXPECT_TRUE(installError().starts_with("signature check failed: "));

  std::ofstream(image, std::ios::trunc) << "not a disk image";
  EXPECT_TRUE(installError().starts_with("mount failed: hdiutil: attach failed"));
}

}  // namespace
}  // namespace kaldra
