#include "updater/channel/channel.h"

#include <cstdlib>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

namespace {

std::string_view trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n";
  auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// Everything but the unreserved characters of RFC 3986 (and "/", which separates).
std::string percentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                 c == '-' || c == '.' || c == '_' || c == '~' || c == '/';
    if (plain) {
      out.push_back(static_cast<char>(c));
    } else {
      out += {'%', kHex[c >> 4], kHex[c & 0xf]};
    }
  }
  return out;
}

}  // namespace

std::string channelFromSetting(std::string_view setting, const std::filesystem::path& base) {
  setting = trim(setting);
  if (setting.empty()) return {};
  if (setting.find("://") != std::string_view::npos) return std::string(setting);
  auto folder = (base / setting).lexically_normal();
  return "file://" + percentEncode(folder.string());
}

std::string configuredChannel() {
  if (const char* value = std::getenv("KALDRA_UPDATE_CHANNEL"); value && *value) {
    return channelFromSetting(value, std::filesystem::current_path());
  }
  auto resources = toolResources();
  auto settingFile = resources / "share" / "update-channel.txt";
  std::string reason;
  auto setting = readFile(settingFile, &reason);
  if (!setting) {
    throw UpdateError(FailureKind::other,
                      "no update channel: KALDRA_UPDATE_CHANNEL is not set and " +
                          settingFile.string() + " cannot be read (" + reason + ")");
  }
  auto channel = channelFromSetting(*setting, resources);
  if (channel.empty())
    throw UpdateError(FailureKind::other,
                      "no update channel: " + settingFile.string() + " is empty");
  return channel;
}

std::filesystem::path toolResources() {
  std::error_code error;
  auto tool = std::filesystem::read_symlink("/proc/self/exe", error);
  return tool.parent_path().parent_path();
}

std::string fileUrl(std::string_view channel, std::string_view path) {
  while (channel.ends_with('/')) channel.remove_suffix(1);
  return std::string(channel) + "/" + percentEncode(path);
}

}  // namespace kaldra::update
