#include "platform/open_application.h"

#include "platform/plist_reader.h"
#include "platform/spawn.h"
#include "platform/user_folders.h"

namespace kaldra::platform {

bool openApplication(const std::filesystem::path& app,
                     const std::map<std::string, std::string>& extraEnv,
                     const std::string& notInherited) {
  auto info = readPlistStrings(app / "Contents/Info.plist");
  if (!info || !info->contains("CFBundleExecutable")) return false;
  Environment env = readEnvironment();
  if (!notInherited.empty())
    std::erase_if(env, [&](const auto& entry) { return entry.first.starts_with(notInherited); });
  for (const auto& [key, value] : extraEnv) env[key] = value;
  std::vector<std::string> entries;
  for (const auto& [key, value] : env) entries.push_back(key + "=" + value);

  SpawnRequest request{.program = (app / "Contents/MacOS" / info->at("CFBundleExecutable")),
                       .environment = std::move(entries),
                       .out = Output::null(),
                       .err = Output::null(),
                       .nullInput = true,
                       .newSession = true};
  Spawned child = spawnProcess(request);
  if (child.pid < 0) return false;
  // The started application is reparented once this process ends; until then a thread
  // reaps it so that it never lingers as a zombie.
  reapInBackground(child.pid);
  return true;
}

}  // namespace kaldra::platform
