// Per-user folders and the user's language preferences, derived from the environment.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace kaldra::platform {

using Environment = std::map<std::string, std::string>;

// The process environment, read once.
Environment readEnvironment();

// Language identifiers in the user's order of preference (such as "de_AT", "pt-BR"):
// the colon list in LANGUAGE, then LC_ALL, LC_MESSAGES and LANG. "C" and "POSIX" are
// not languages and are left out.
std::vector<std::string> preferredLanguages(const Environment& env);

// The default per-user data folder: $XDG_DATA_HOME/Kaldrith, or ~/.local/share/Kaldrith.
std::filesystem::path defaultDataDir(const Environment& env);

// The default folder applications are installed into: ~/Applications here (the platform's
// is the shared /Applications).
std::filesystem::path defaultInstallDir(const Environment& env);

// The user's own applications folder, ~/Applications: a copy anywhere in it counts as
// installed by the user.
std::filesystem::path personalApplicationsDir(const Environment& env);

}  // namespace kaldra::platform
