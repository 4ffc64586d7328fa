#include "platform/open_with_system.h"

#include "platform/spawn.h"

namespace kaldra::platform {

bool openWithSystem(const std::filesystem::path& path) {
  // env looks the opener up on PATH; the arguments still go without a shell.
  Spawned child = spawnProcess({.program = "/usr/bin/env",
                                .args = {"xdg-open", path.string()},
                                .out = Output::null(),
                                .err = Output::null(),
                                .nullInput = true,
                                .newSession = true});
  if (child.pid < 0) return false;
  reapInBackground(child.pid);
  return true;
}

}  // namespace kaldra::platform
