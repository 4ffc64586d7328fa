// What a bundle says it is, and whether it may take the launcher's place: dotted
// version strings, the identity in Info.plist, and the full check before a swap.
// Stateless; callable from any thread.
//
//   if (cmpVersion(offered, cfg.appVersion) > 0) verifyBundle(mounted, offered);
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra {

namespace fs = std::filesystem;

// The numeric parts of "1.4.2-beta3" ([1, 4, 2]): the text after the first "-" is
// ignored, empty parts are dropped, a part that is no decimal number counts as 0.
std::vector<std::int64_t> versionParts(std::string_view version);

// -1, 0 or 1 as `a` is lower than, equal to or higher than `b`; missing trailing parts
// count as 0, so "1.2" equals "1.2.0".
int cmpVersion(std::string_view a, std::string_view b);

struct BundleIdentity {
  std::string id;       // CFBundleIdentifier, empty when missing or not a string
  std::string version;  // CFBundleShortVersionString, likewise
};

// The identity in `bundle`/Contents/Info.plist (XML or binary); no value when the file
// cannot be read or holds no dictionary.
std::optional<BundleIdentity> bundleInfo(const fs::path& bundle);

// Accepts `bundle` only when it is a real folder (no symbolic link), of the client's
// identifier and exactly `version`, and its seal holds. Throws SwapError with the
// reason otherwise. Runs the codesign stand-in; never logs.
void verifyBundle(const fs::path& bundle, const std::string& version);

}  // namespace kaldra
