// The launcher channel's feed for one platform: which launcher is offered, which
// launchers may still run, and where its disk image lies. The feed's bytes are what the
// channel signs.
//
//   {"platform": "macos", "version": "1.1.0", "minVersion": "1.0.0", "minSystem": "5.10",
//    "url": "Kaldrith-1.1.0.dmg", "size": 52428800, "sha256": "9f86d0...",
//    "sequence": 1765113600, "expires": "2027-01-06T12:00:00Z"}
//
// "url" is taken relative to the feed's own URL unless it holds "://".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "updater/channel/freshness.h"

namespace kaldra::update {

struct LauncherFeed {
  std::string platform;
  std::string version;     // the offered launcher
  std::string minVersion;  // older launchers may no longer run; empty: all may
  std::string minSystem;   // the oldest system the offered launcher runs on; empty: any
  std::string url;
  std::uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
  Freshness freshness;
};

// Throws UpdateError (manifest) naming the first fault: not JSON, a missing or mistyped
// member, a version that is not dotted numbers, a malformed digest, an empty URL, or a
// feed for another platform than `platform`.
LauncherFeed parseLauncherFeed(std::string_view bytes, std::string_view platform);

// The feed as JSON text that parseLauncherFeed reads back.
std::string launcherFeedJson(const LauncherFeed& feed);

// The feed's file name in a channel: "launcher-macos.json".
std::string launcherFeedName(std::string_view platform);

}  // namespace kaldra::update
