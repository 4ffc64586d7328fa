#include "swap/bundle_identity.h"

#include <algorithm>
#include <charconv>

#include "core/config.h"
#include "platform/plist_reader.h"
#include "proc/run_tool.h"
#include "swap/swap_error.h"

namespace kaldra {

namespace {

// The non-empty pieces of `text` between the separators.
std::vector<std::string_view> pieces(std::string_view text, char separator) {
  std::vector<std::string_view> found;
  while (!text.empty()) {
    auto at = text.find(separator);
    auto piece = text.substr(0, at);
    if (!piece.empty()) found.push_back(piece);
    text.remove_prefix(at == std::string_view::npos ? text.size() : at + 1);
  }
  return found;
}

std::int64_t decimalOrZero(std::string_view piece) {
  // from_chars takes no "+"; the platform's integer parsing does.
  if (piece.size() > 1 && piece.front() == '+') piece.remove_prefix(1);
  std::int64_t value = 0;
  auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
  return error == std::errc() && end == piece.data() + piece.size() ? value : 0;
}

}  // namespace

std::vector<std::int64_t> versionParts(std::string_view version) {
  auto release = pieces(version, '-');
  std::vector<std::int64_t> parts;
  if (release.empty()) return parts;
  for (auto piece : pieces(release.front(), '.')) parts.push_back(decimalOrZero(piece));
  return parts;
}

int cmpVersion(std::string_view a, std::string_view b) {
  auto pa = versionParts(a);
  auto pb = versionParts(b);
  for (std::size_t i = 0; i < std::max(pa.size(), pb.size()); ++i) {
    std::int64_t x = i < pa.size() ? pa[i] : 0;
    std::int64_t y = i < pb.size() ? pb[i] : 0;
    if (x != y) return x < y ? -1 : 1;
  }
  return 0;
}

std::optional<BundleIdentity> bundleInfo(const fs::path& bundle) {
  auto info = platform::readPlistStrings(bundle / "Contents/Info.plist");
  if (!info) return std::nullopt;
  auto string = [&](const char* key) { return info->contains(key) ? info->at(key) : ""; };
  return BundleIdentity{string("CFBundleIdentifier"), string("CFBundleShortVersionString")};
}

void verifyBundle(const fs::path& bundle, const std::string& version) {
  std::error_code ec;
  auto status = fs::symlink_status(bundle, ec);
  if (ec || fs::is_symlink(status) || !fs::is_directory(status))
    throw SwapError("no app bundle at " + bundle.string());

  auto identity = bundleInfo(bundle);
  if (!identity || identity->id != cfg.bundleID || identity->version != version) {
    std::string found = identity ? identity->id + " " + identity->version : "-";
    throw SwapError("unexpected bundle " + found + " (expected " + cfg.bundleID + " " + version +
                    ")");
  }

  auto [code, output] = runTool(platformTool("codesign").string(),
                                {"--verify", "--deep", "--strict", bundle.string()});
  if (code != 0) throw SwapError("signature check failed: " + output);
}

}  // namespace kaldra
