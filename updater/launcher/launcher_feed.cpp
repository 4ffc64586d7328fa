#include "updater/launcher/launcher_feed.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "updater/base/failure.h"
#include "updater/channel/manifest.h"

namespace kaldra::update {

namespace {

[[noreturn]] void fault(const std::string& what) {
  throw UpdateError(FailureKind::manifest, "launcher feed: " + what);
}

std::string stringMember(const nlohmann::json& json, const char* key, bool required) {
  auto it = json.find(key);
  if (it == json.end() && !required) return {};
  if (it == json.end() || !it->is_string()) fault(std::string("no string \"") + key + "\"");
  return it->get<std::string>();
}

// Versions name files and are compared number by number: digits and dots only.
bool isDottedNumbers(std::string_view version) {
  if (version.empty() || version.front() == '.' || version.back() == '.') return false;
  if (version.find("..") != std::string_view::npos) return false;
  return std::all_of(version.begin(), version.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

std::string versionMember(const nlohmann::json& json, const char* key, bool required) {
  auto version = stringMember(json, key, required);
  if ((required || !version.empty()) && !isDottedNumbers(version))
    fault(std::string("\"") + key + "\" is not a version of dotted numbers: \"" + version + "\"");
  return version;
}

}  // namespace

LauncherFeed parseLauncherFeed(std::string_view bytes, std::string_view platform) {
  auto json = nlohmann::json::parse(bytes, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) fault("not valid JSON");
  if (!json.is_object()) fault("not a JSON object");
  LauncherFeed feed{.platform = stringMember(json, "platform", true)};
  if (feed.platform != platform)
    fault("for platform \"" + feed.platform + "\", not \"" + std::string(platform) + "\"");
  feed.version = versionMember(json, "version", true);
  feed.minVersion = versionMember(json, "minVersion", false);
  feed.minSystem = versionMember(json, "minSystem", false);
  feed.url = stringMember(json, "url", true);
  if (feed.url.empty()) fault("empty \"url\"");
  auto size = json.find("size");
  if (size == json.end() || !size->is_number_unsigned())
    fault("\"size\" is not a non-negative integer");
  feed.size = size->get<std::uint64_t>();
  feed.sha256 = lowerHexDigest(stringMember(json, "sha256", true));
  if (feed.sha256.empty()) fault("\"sha256\" is not 64 hexadecimal digits");
  feed.freshness = readFreshness(json, FailureKind::manifest);
  return feed;
}

std::string launcherFeedJson(const LauncherFeed& feed) {
  nlohmann::ordered_json json{
      {"platform", feed.platform},   {"version", feed.version}, {"minVersion", feed.minVersion},
      {"minSystem", feed.minSystem}, {"url", feed.url},         {"size", feed.size},
      {"sha256", feed.sha256}};
  writeFreshness(json, feed.freshness);
  return json.dump(1) + "\n";
}

std::string launcherFeedName(std::string_view platform) {
  return "launcher-" + std::string(platform) + ".json";
}

}  // namespace kaldra::update
