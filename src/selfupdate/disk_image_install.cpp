#include "selfupdate/disk_image_install.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <system_error>

#include "core/config.h"
#include "proc/run_tool.h"
#include "selfupdate/sha256_file.h"
#include "swap/bundle_identity.h"
#include "swap/prepare_swap.h"
#include "swap/swap_error.h"

namespace kaldra {

namespace {

bool matchesDigest(const fs::path& image, std::string expected) {
  if (expected.size() != 64) return false;
  std::transform(expected.begin(), expected.end(), expected.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  auto actual = sha256File(image);
  return actual && *actual == expected;
}

void detachAndRemove(const fs::path& folder, bool politeFirst) {
  auto tool = platformTool("hdiutil").string();
  if (!politeFirst || runTool(tool, {"detach", folder.string()}).first != 0)
    runTool(tool, {"detach", "-force", folder.string()});
  std::error_code ignored;
  fs::remove_all(folder, ignored);
}

// Detaches and removes the mount folder when it goes out of scope, on every path.
class Attached {
 public:
  explicit Attached(fs::path folder) : folder_(std::move(folder)) {}
  ~Attached() { detachAndRemove(folder_, true); }
  Attached(const Attached&) = delete;
  Attached& operator=(const Attached&) = delete;

 private:
  fs::path folder_;
};

}  // namespace

fs::path mountFolder() {
  return cfg.xplatDir / ("mnt-" + std::to_string(::getpid()));
}

void installFromDMG(const fs::path& image, const std::string& sha256, const std::string& version) {
  if (!matchesDigest(image, sha256))
    throw SwapError("package hash does not match the signed channel");

  fs::path mount = mountFolder();
  // A crashed launcher with the same process id may have left its image attached here.
  detachAndRemove(mount, false);
  std::error_code ignored;
  fs::create_directories(mount);
  try {
    fs::permissions(mount, fs::perms::owner_all);
  } catch (...) {
    fs::remove_all(mount, ignored);
    throw;
  }
  auto [status, output] =
      runTool(platformTool("hdiutil").string(), {"attach", "-readonly", "-nobrowse", "-noautoopen",
                                                 "-mountpoint", mount.string(), image.string()});
  if (status != 0) {
    fs::remove_all(mount, ignored);
    throw SwapError("mount failed: " + output);
  }
  Attached attached(mount);
  verifyBundle(mount / "Kaldrith.app", version);
  prepareSwap("update", mount / "Kaldrith.app", cfg.appBundle, cfg.appVersion, version);
}

}  // namespace kaldra
