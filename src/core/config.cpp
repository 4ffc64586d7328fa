#include "core/config.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "platform/bundle_location.h"
#include "platform/plist_reader.h"
#include "platform/tool_paths.h"
#include "platform/user_folders.h"

namespace kaldra {

std::optional<std::string> Config::getenv(std::string_view name) const {
  auto it = env.find(std::string(name));
  if (it == env.end()) return std::nullopt;
  return it->second;
}

fs::path platformTool(std::string_view name) {
  return platform::platformToolPath(cfg.res, name);
}

const std::vector<std::string>& supportedLanguages() {
  static const std::vector<std::string> codes{"de", "en", "tr", "pl", "ro", "es", "fr", "it"};
  return codes;
}

static bool isSupported(std::string_view code) {
  const auto& codes = supportedLanguages();
  return std::find(codes.begin(), codes.end(), code) != codes.end();
}

std::string chooseLanguage(const Env& env, const std::vector<std::string>& preferred) {
  if (auto it = env.find("KALDRA_LANG"); it != env.end() && isSupported(it->second))
    return it->second;
  for (const auto& language : preferred) {
    std::string code = language.substr(0, 2);
    for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (isSupported(code)) return code;
  }
  return "en";
}

std::deque<std::int64_t> parseTestAnswers(std::string_view text) {
  std::deque<std::int64_t> answers;
  while (!text.empty()) {
    auto comma = text.find(',');
    std::string_view piece = text.substr(0, comma);
    text.remove_prefix(comma == std::string_view::npos ? text.size() : comma + 1);
    // from_chars takes no "+"; an explicit plus sign is still a decimal integer.
    if (piece.size() > 1 && piece.front() == '+' && piece[1] != '-') piece.remove_prefix(1);
    std::int64_t value = 0;
    auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (!piece.empty() && error == std::errc() && end == piece.data() + piece.size())
      answers.push_back(value);
  }
  return answers;
}

// Absolute against the folder the launcher started in, so that child processes, which
// run elsewhere, find the same folder; without "." or ".." and without a trailing "/".
static fs::path absoluteFolder(const fs::path& path) {
  std::error_code ec;
  fs::path folder = fs::absolute(path, ec).lexically_normal();
  if (!folder.has_filename() && folder.has_relative_path()) folder = folder.parent_path();
  return folder;
}

// An empty variable counts as unset: it names no folder.
static std::optional<std::string> folderSetting(const Config& c, std::string_view name) {
  auto value = c.getenv(name);
  if (value && value->empty()) return std::nullopt;
  return value;
}

static fs::path resolved(const fs::path& path) {
  std::error_code ec;
  auto canonical = fs::weakly_canonical(path, ec);
  return ec ? path.lexically_normal() : canonical;
}

Config computeConfig(const PlatformFacts& facts) {
  Config c;
  c.env = facts.env;
  c.res = facts.bundle / "Contents/Resources";
  c.updater = c.res / "bin/kaldra-update";
  auto dataDir = folderSetting(c, "KALDRA_DATA_DIR");
  c.dataDir = absoluteFolder(dataDir ? fs::path(*dataDir) : facts.defaultDataDir);
  c.clientDir = c.dataDir / "prefix/drive_c/Kaldrith";
  c.logsDir = c.dataDir / "logs";
  c.codes = supportedLanguages();
  c.lang = chooseLanguage(c.env, facts.preferredLanguages);
  c.snapDir = folderSetting(c, "KALDRA_SNAPSHOT_DIR");
  c.testAnswers = parseTestAnswers(c.getenv("KALDRA_TEST_ANSWERS").value_or(""));
  c.bundleID = std::string(kBundleID);
  c.appBundle = resolved(facts.bundle);
  c.appVersion = "0.0.0";
  if (facts.infoPlist && facts.infoPlist->contains("CFBundleShortVersionString"))
    c.appVersion = facts.infoPlist->at("CFBundleShortVersionString");
  auto installDir = c.getenv("KALDRA_TEST_INSTALL_DIR");
  c.installDir = resolved(installDir ? fs::path(*installDir) : facts.defaultInstallDir);
  c.installTarget = c.installDir / "Kaldrith.app";
  c.xplatDir = c.dataDir / "xplat";
  c.swapPlanURL = c.xplatDir / "mac-swap.json";
  return c;
}

std::optional<PlatformFacts> readPlatformFacts() {
  auto bundle = platform::bundleOfExecutable(platform::executablePath());
  if (!bundle) return std::nullopt;
  PlatformFacts facts;
  facts.env = platform::readEnvironment();
  facts.bundle = *bundle;
  facts.preferredLanguages = platform::preferredLanguages(facts.env);
  facts.defaultDataDir = platform::defaultDataDir(facts.env);
  facts.defaultInstallDir = platform::defaultInstallDir(facts.env);
  facts.infoPlist = platform::readPlistStrings(*bundle / "Contents/Info.plist");
  return facts;
}

}  // namespace kaldra
