#include "updater/launcher/xplat.h"

#include <cctype>
#include <nlohmann/json.hpp>

#include "swap/bundle_identity.h"
#include "updater/base/failure.h"
#include "updater/base/file_io.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/freshness.h"
#include "updater/channel/key_chain.h"
#include "updater/channel/signature.h"
#include "updater/game/download.h"
#include "updater/game/file_cache.h"
#include "updater/net/metadata_fetch.h"

namespace kaldra::update {

namespace {

std::string imageUrl(const XplatRequest& request, const LauncherFeed& feed) {
  if (feed.url.find("://") != std::string::npos) return feed.url;
  return fileUrl(request.channel, feed.url);
}

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  auto first = text.find_first_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : text.substr(first);
}

// Images of other versions, and their downloads, are of no more use: the folder keeps at
// most the image of the version on offer. Only the tool's own names are touched.
void removeOtherImages(const std::filesystem::path& outDir, const ManifestFile& image) {
  std::error_code error;
  for (std::filesystem::directory_iterator it(outDir, error), end; !error && it != end;
       it.increment(error)) {
    auto name = it->path().filename().string();
    bool ours =
        (name.starts_with("Kaldrith-") && name.ends_with(".dmg")) || name.ends_with(".part");
    std::error_code ignored;
    bool kept = (name == image.path || name == partialName(image)) &&
                it->symlink_status(ignored).type() == std::filesystem::file_type::regular;
    if (ours && !kept) std::filesystem::remove_all(it->path(), ignored);
  }
}

bool alreadyComplete(const std::filesystem::path& path, const ManifestFile& image) {
  auto stamp = stampOf(path);
  return stamp && stamp->size == image.size && hashFile(path).sha256 == image.sha256;
}

}  // namespace

LauncherFeed loadLauncherFeed(Transfer& transfer, const XplatRequest& request,
                              const NetworkSettings& settings) {
  // A feed is a few hundred bytes; a server sending more is not a launcher channel.
  constexpr std::size_t kFeedLimit = 1 << 20;
  auto deadline = metadataDeadline(settings);
  makeDirectories(request.stateDir / "xplat");
  auto head = channelKeys(transfer, request.channel, settings, deadline,
                          request.stateDir / "xplat" / "launcher-keys.json");
  auto name = launcherFeedName(request.platform);
  auto url = fileUrl(request.channel, name);
  auto bytes = fetchMetadata(transfer, url, kFeedLimit, FailureKind::manifest, settings, deadline);
  std::string signature;
  try {
    signature = fetchMetadata(transfer, fileUrl(request.channel, signatureFileName(name)),
                              kFeedLimit, FailureKind::manifest, settings, deadline);
  } catch (const TransferError& error) {
    if (!error.missing()) throw;
    throw UpdateError(FailureKind::signature, "launcher feed " + url + " is not signed");
  }
  requireSignature(bytes, signature, head.keys, "launcher feed " + url);
  auto feed = parseLauncherFeed(bytes, request.platform);
  requirePublishedUnder(head, feed.freshness.keys, "launcher feed " + url);
  auto ledger = request.stateDir / "xplat" / "launcher-channels.json";
  requireFresh(feed.freshness, ledger, request.channel, "launcher feed " + url, unixNow());
  rememberFresh(feed.freshness, ledger, request.channel);
  return feed;
}

XplatDecision decide(const LauncherFeed& feed, const XplatRequest& request,
                     const std::optional<std::string>& skipVersion) {
  XplatDecision decision;
  decision.required = !feed.minVersion.empty() && cmpVersion(request.current, feed.minVersion) < 0;
  decision.update = cmpVersion(feed.version, request.current) > 0;
  if (decision.update && !decision.required && skipVersion == feed.version) decision.update = false;
  decision.systemOk = feed.minSystem.empty() || cmpVersion(request.system, feed.minSystem) >= 0;
  return decision;
}

std::optional<std::string> skippedVersion(const std::filesystem::path& stateDir) {
  auto text = readFile(stateDir / "xplat" / "skip-version");
  if (!text) return std::nullopt;
  return trimmed(*text);
}

std::string checkResultJson(const XplatDecision& decision, const LauncherFeed& feed,
                            const std::string& current) {
  nlohmann::ordered_json json{{"update", decision.update},
                              {"required", decision.required},
                              {"systemOk", decision.systemOk},
                              {"offered", feed.version},
                              {"current", current},
                              {"minSystem", feed.minSystem}};
  return json.dump();
}

FetchedImage fetchLauncherImage(Transfer& transfer, const XplatRequest& request,
                                const LauncherFeed& feed, const std::filesystem::path& outDir,
                                const NetworkSettings& settings, EventWriter& events,
                                std::string_view label) {
  if (cmpVersion(feed.version, request.current) <= 0) {
    throw UpdateError(FailureKind::other, "the channel offers " + feed.version +
                                              ", which is not newer than " + request.current);
  }
  makeDirectories(outDir);
  ManifestFile image{
      .path = "Kaldrith-" + feed.version + ".dmg", .size = feed.size, .sha256 = feed.sha256};
  std::uint64_t done = 0;
  auto report = [&] {
    double pct =
        feed.size ? 100.0 * static_cast<double>(done) / static_cast<double>(feed.size) : 100.0;
    events.progress(Stage::download, pct, label, ByteProgress{done, feed.size});
  };
  removeOtherImages(outDir, image);
  if (alreadyComplete(outDir / image.path, image)) {
    done = image.size;
    report();
    return {outDir / image.path, 0};
  }
  report();
  // What an interrupted run left in `outDir` is continued, not fetched again.
  auto downloaded = downloadFile(transfer, imageUrl(request, feed), image, outDir / image.path,
                                 outDir, settings, [&](std::uint64_t bytes) {
                                   done += bytes;
                                   report();
                                 });
  return {outDir / image.path, downloaded.received};
}

}  // namespace kaldra::update
