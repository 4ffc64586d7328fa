// The launcher's configuration values: computed once at start-up, before any thread
// starts, and read everywhere afterwards.
//
// Only `texts` (set once on the main thread before the launch sequence starts),
// `testAnswers` and `snapCount` (main thread only) change after start-up.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra {

using Env = std::map<std::string, std::string>;
using TextTable = std::map<std::string, std::string, std::less<>>;
namespace fs = std::filesystem;

// What the platform tells about this process, gathered before the values are computed.
struct PlatformFacts {
  Env env;
  fs::path bundle;  // the main bundle, X.app
  std::vector<std::string> preferredLanguages;
  fs::path defaultDataDir;
  fs::path defaultInstallDir;
  std::optional<std::map<std::string, std::string>> infoPlist;  // string entries
};

struct Config {
  Env env;
  fs::path res;
  fs::path updater;
  fs::path dataDir;
  fs::path clientDir;
  fs::path logsDir;
  std::vector<std::string> codes;
  std::string lang;
  TextTable texts;
  std::optional<std::string> snapDir;
  std::deque<std::int64_t> testAnswers;
  int snapCount = 0;
  std::string bundleID;
  fs::path appBundle;
  std::string appVersion;
  fs::path installDir;
  fs::path installTarget;
  fs::path xplatDir;
  fs::path swapPlanURL;

  // The value of an environment variable, or no value.
  std::optional<std::string> getenv(std::string_view name) const;
};

// The process-wide values. Written by start-up (and by tests), read by every step.
inline Config cfg;

// The client bundle identifier; the bundle's own CFBundleIdentifier.
inline constexpr std::string_view kBundleID = "com.kaldrith.client";

// The supported languages, in their fixed order.
const std::vector<std::string>& supportedLanguages();

// KALDRA_LANG when it names a supported language exactly; otherwise the first preferred
// language whose first two characters, lower-cased, name one; otherwise "en".
std::string chooseLanguage(const Env& env, const std::vector<std::string>& preferred);

// Comma-separated decimal 64-bit integers; empty, malformed and out-of-range pieces are
// skipped.
std::deque<std::int64_t> parseTestAnswers(std::string_view text);

// All values, in their order, from the platform's facts.
Config computeConfig(const PlatformFacts& facts);

// The facts of the running process: its bundle from /proc/self/exe, and so on.
// No value when the executable does not lie inside an application bundle.
std::optional<PlatformFacts> readPlatformFacts();

}  // namespace kaldra
