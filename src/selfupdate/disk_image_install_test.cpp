#include "selfupdate/disk_image_install.h"

#include <gtest/gtest.h>

#include <fstream>

#include "selfupdate/sha256_file.h"
#include "swap/swap_error.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

// The real disk-image and seal stand-ins; everything stops before the exchange, which
// the end-to-end self-update covers.
class DiskImageInstall : public testing::SwapSandbox {};

TEST_F(DiskImageInstall, FailuresAreToldAndTheImageIsAlwaysDetached) {
  fs::path image = dir / "Kaldrith-2.0.dmg";
  testing::writeSealedBundle(dir / "content/Kaldrith.app", "2.0");
  testing::makeImage(dir / "content", image);
  EXPECT_THROW(installFromDMG(image, std::string(64, '0'), "2.0"), SwapError);
  EXPECT_FALSE(fs::exists(cfg.xplatDir));  // the digest comes before anything is made
  EXPECT_FALSE(sha256File(dir.path()));    // a folder opens but does not read
  fs::create_directories(mountFolder() / "stale");

  // The digest as the feed may write it, in capitals; the image holds 2.0, not 2.0.0.
  std::string digest = *sha256File(image);
  for (char& c : digest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* expected :
       {"unexpected bundle com.kaldrith.client 2.0 (expected com.kaldrith.client 2.0.0)",
        "mount failed: hdiutil: attach failed"}) {
    try {
      installFromDMG(image, digest, "2.0.0");
      ADD_FAILURE() << "installed";
    } catch (const SwapError& error) {
      EXPECT_TRUE(error.text.starts_with(expected)) << error.text;
    }
    EXPECT_TRUE(!fs::exists(cfg.xplatDir) || fs::is_empty(cfg.xplatDir));
    std::ofstream(image, std::ios::trunc) << "not a disk image";
    digest = *sha256File(image);
  }
}

}  // namespace
}  // namespace kaldra
