#include "platform/user_folders.h"

#include <pwd.h>
#include <unistd.h>

extern char** environ;

namespace kaldra::platform {

Environment readEnvironment() {
  Environment env;
  for (char** entry = environ; entry && *entry; ++entry) {
    std::string_view text(*entry);
    auto eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    env.emplace(std::string(text.substr(0, eq)), std::string(text.substr(eq + 1)));
  }
  return env;
}

std::vector<std::string> preferredLanguages(const Environment& env) {
  std::vector<std::string> result;
  auto add = [&](std::string_view value) {
    if (value.empty() || value == "C" || value == "POSIX" || value.starts_with("C.")) return;
    result.emplace_back(value);
  };
  if (auto it = env.find("LANGUAGE"); it != env.end()) {
    std::string_view list = it->second;
    while (!list.empty()) {
      auto colon = list.find(':');
      add(list.substr(0, colon));
      if (colon == std::string_view::npos) break;
      list.remove_prefix(colon + 1);
    }
  }
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
    if (auto it = env.find(name); it != env.end()) add(it->second);
  return result;
}

static std::filesystem::path homeDir(const Environment& env) {
  if (auto it = env.find("HOME"); it != env.end() && !it->second.empty()) return it->second;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::filesystem::path defaultDataDir(const Environment& env) {
  if (auto it = env.find("XDG_DATA_HOME"); it != env.end() && !it->second.empty())
    return std::filesystem::path(it->second) / "Kaldrith";
  return homeDir(env) / ".local/share/Kaldrith";
}

std::filesystem::path defaultInstallDir(const Environment& env) {
  return personalApplicationsDir(env);
}

std::filesystem::path personalApplicationsDir(const Environment& env) {
  return homeDir(env) / "Applications";
}

}  // namespace kaldra::platform
