// The launcher channel's two commands: "xplat-check" (is a newer launcher offered for
// this platform, and must it be installed?) and "xplat-fetch" (download its disk image
// and report the file).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "updater/base/events.h"
#include "updater/launcher/launcher_feed.h"
#include "updater/net/network_settings.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

struct XplatRequest {
  std::string channel;  // folder URL holding the feed and its signature
  std::string platform;
  std::filesystem::path stateDir;  // the launcher's data folder
  std::string current;             // the running launcher's version
  std::string system;              // this system's version
};

struct XplatDecision {
  bool update = false;    // a newer launcher is offered and not refused
  bool required = false;  // the running launcher is older than the feed allows
  bool systemOk = true;
};

// Fetches the feed and its signature and checks the signature with the key built into
// the tool before anything of the feed is read. Throws UpdateError: signature for a
// missing or wrong signature, manifest for a damaged feed, stale for a feed older than
// one accepted from that channel before (remembered in the state folder) or expired,
// network when either cannot be fetched within the settings' time for metadata.
LauncherFeed loadLauncherFeed(Transfer& transfer, const XplatRequest& request,
                              const NetworkSettings& settings);

// Only a newer launcher is an update; a required update is offered even when it was
// rolled back before (`skipVersion`), any other is not.
XplatDecision decide(const LauncherFeed& feed, const XplatRequest& request,
                     const std::optional<std::string>& skipVersion);

// The version a rollback refused, from "xplat/skip-version" in the state folder.
std::optional<std::string> skippedVersion(const std::filesystem::path& stateDir);

// "xplat-check"'s answer: update, required, systemOk, offered, current, minSystem.
std::string checkResultJson(const XplatDecision& decision, const LauncherFeed& feed,
                            const std::string& current);

struct FetchedImage {
  std::filesystem::path path;
  std::uint64_t received = 0;  // bytes that came over the network in this run
};

// Downloads the offered image into `outDir` as "Kaldrith-VERSION.dmg", continuing a
// partial download left there by an earlier run, and checks its size and SHA-256 before
// it gets its name. Throws UpdateError: other when the feed offers no
// newer launcher, integrity when the bytes differ from the feed (the partial file is
// then removed, so the next run starts afresh), network when the transfer breaks off
// for good (the partial file stays for the next run), disk.
FetchedImage fetchLauncherImage(Transfer& transfer, const XplatRequest& request,
                                const LauncherFeed& feed, const std::filesystem::path& outDir,
                                const NetworkSettings& settings, EventWriter& events,
                                std::string_view label);

}  // namespace kaldra::update
