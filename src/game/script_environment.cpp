#include "game/script_environment.h"

namespace kaldra {

Env scriptEnvironment(const Env& launcherEnv, const fs::path& dataDir, const fs::path& res,
                      const std::optional<std::string>& pickupScanCode) {
  Env env = launcherEnv;
  env["KALDRA_DATA_DIR"] = dataDir.string();
  env["KALDRA_WINE_DIR"] = (res / "wine").string();
  env["KALDRA_RES_DIR"] = (res / "share").string();
  env["KALDRA_PLATFORM"] = "mac";
  env.erase("KALDRA_MAC_PICKUP_SCANCODE");
  if (pickupScanCode) env["KALDRA_MAC_PICKUP_SCANCODE"] = *pickupScanCode;
  // Wine and the script must not pick up programs from the player's own search path.
  env["PATH"] = "/usr/bin:/bin:/usr/sbin:/sbin";
  return env;
}

std::vector<std::string> environmentEntries(const Env& env) {
  std::vector<std::string> entries;
  entries.reserve(env.size());
  for (const auto& [key, value] : env) entries.push_back(key + "=" + value);
  return entries;
}

}  // namespace kaldra
