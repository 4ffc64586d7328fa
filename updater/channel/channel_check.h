// "check": what a publisher runs after every upload. The channel is read as a new player
// reads it, trusting only the key built into the tool, and every object the manifest
// names is fetched and compared with its name.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "updater/net/network_settings.h"

namespace kaldra::update {

struct ChannelCheck {
  std::uint64_t keys = 0;  // the newest key statement the chain leads to
  std::string version;
  std::size_t files = 0;
  std::optional<std::int64_t> expires;
  std::size_t objects = 0;            // fetched and compared
  std::vector<std::string> problems;  // one line each, naming the object's path; sorted
  std::vector<std::string> warnings;
};

// Checks `channel` (a URL) at the Unix time `now`, fetching on `threads` connections.
// Throws UpdateError when the key chain or the manifest cannot be trusted or read; every
// other fault becomes a problem: a missing object, one that is not its name's bytes, a
// manifest past its time. A manifest expiring within 7 days gives a warning.
ChannelCheck checkChannel(const std::string& channel, const NetworkSettings& settings,
                          unsigned threads, std::int64_t now);

}  // namespace kaldra::update
