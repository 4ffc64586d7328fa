// The update channel: a folder, reached by URL, that holds "manifest.json" and the game
// files at the paths it lists.
//
//   channelFromSetting("demo-channel", "/x/Kaldrith.app/Contents/Resources")
//     == "file:///x/Kaldrith.app/Contents/Resources/demo-channel"
//   fileUrl("http://h/c/", "data/a b.pak") == "http://h/c/data/a%20b.pak"
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace kaldra::update {

// A channel setting as a URL: a value with "://" is one already; anything else is a
// folder path, taken relative to `base` unless absolute. Surrounding white space is
// ignored; an empty setting gives an empty URL.
std::string channelFromSetting(std::string_view setting, const std::filesystem::path& base);

// KALDRA_UPDATE_CHANNEL when set and not empty (a relative path then counts from the
// working folder); otherwise the bundle's default in share/update-channel.txt beside the
// tool's bin folder (a relative path there counts from the tool's Resources folder, so a
// copied bundle keeps working). Throws UpdateError (other) when neither gives a channel.
std::string configuredChannel();

// The bundle's Resources folder that holds the tool (in bin/).
std::filesystem::path toolResources();

// The URL of the game file `path` in `channel`, each path component percent-encoded.
std::string fileUrl(std::string_view channel, std::string_view path);

}  // namespace kaldra::update
