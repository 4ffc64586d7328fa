#include "updater/launcher/publish_launcher.h"

#include "platform/spawn.h"
#include "swap/bundle_identity.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/sha256.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/publish.h"
#include "updater/channel/signature.h"

namespace kaldra::update {

namespace {

namespace fs = std::filesystem;

// The image holds the bundle as "Kaldrith.app" at its top, whatever its folder is called.
void buildImage(const PublishLauncherRequest& request, const fs::path& image) {
  auto staging = request.channel / (".staging-" + image.filename().string());
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  fs::create_directories(staging);
  fs::copy(request.bundle, staging / "Kaldrith.app",
           fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::remove(image, ignored);
  auto child =
      platform::spawnProcess({.program = request.diskImageTool.string(),
                              .args = {"create", "-srcfolder", staging.string(), image.string()},
                              .out = platform::Output::pipe(),
                              .err = platform::Output::pipe()});
  std::string output = child.pid < 0 ? child.error : platform::readAll(child.pipe.get());
  int status = child.pid < 0 ? -1 : platform::waitForExit(child.pid);
  fs::remove_all(staging, ignored);
  if (status != 0)
    throw UpdateError(FailureKind::other, "cannot build " + image.string() + ": " + output);
}

}  // namespace

LauncherFeed publishLauncher(const PublishLauncherRequest& request) {
  LauncherFeed feed{.platform = request.platform,
                    .version = bundleInfo(request.bundle).value_or(BundleIdentity{}).version,
                    .minVersion = request.minVersion,
                    .minSystem = request.minSystem};
  if (feed.version.empty())
    throw UpdateError(FailureKind::other, "no version in " + request.bundle.string());
  // Checked before the image is built: a key players would refuse is known at once.
  auto key = readFile(request.privateKey);
  if (!key) throw UpdateError(FailureKind::other, "cannot read " + request.privateKey.string());
  auto keys = publishedKeys(request.channel);
  requireListedKey(keys, *key);
  makeDirectories(request.channel);
  auto name = launcherFeedName(request.platform);
  feed.freshness = nextFreshness(publishedFreshness(request.channel / name), keys.number, unixNow(),
                                 request.expiresDays);
  feed.url = "Kaldrith-" + feed.version + ".dmg";
  auto image = request.channel / feed.url;
  buildImage(request, image);
  auto digest = hashFile(image);
  feed.size = digest.size;
  feed.sha256 = digest.sha256;

  // Parsed back before it is published: a feed its clients refuse is never signed.
  auto bytes = launcherFeedJson(feed);
  parseLauncherFeed(bytes, request.platform);
  writeFileDurably(request.channel / signatureFileName(name), signBytes(bytes, *key));
  writeFileDurably(request.channel / name, bytes);
  return feed;
}

}  // namespace kaldra::update
