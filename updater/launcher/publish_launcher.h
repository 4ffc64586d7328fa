// "publish-launcher": makes a launcher bundle available on a launcher channel: its disk
// image, built with the bundle's own disk-image tool, and the platform's signed feed.
#pragma once

#include <filesystem>
#include <string>

#include "updater/launcher/launcher_feed.h"

namespace kaldra::update {

struct PublishLauncherRequest {
  std::filesystem::path bundle;   // a Kaldrith.app whose Info.plist names its version
  std::filesystem::path channel;  // the channel folder, created when missing
  std::string platform = "macos";
  std::string minVersion;  // launchers older than this may no longer run
  std::string minSystem;
  std::filesystem::path privateKey;  // PEM, Ed25519
  std::filesystem::path diskImageTool;
  unsigned expiresDays = 30;
};

// Writes "Kaldrith-VERSION.dmg" (replacing one of the same version), the feed and its
// signature into the channel; the feed is replaced last, so a client never sees a feed
// whose image is not there yet. Throws UpdateError: other when the bundle has no
// version, the image cannot be built or the key cannot sign; disk.
LauncherFeed publishLauncher(const PublishLauncherRequest& request);

}  // namespace kaldra::update
