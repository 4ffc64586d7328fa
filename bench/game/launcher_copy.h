// A private copy of the built bundle and a headless environment for it, for the game
// benchmarks: the launcher goes straight to the game, in a data folder of its own.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "platform/spawn.h"
#include "platform/user_folders.h"
#include "tests/support/log_file.h"

namespace bench {

namespace fs = std::filesystem;

using kaldra::testing::readFile;

inline void writeScript(const fs::path& path, const std::string& body) {
  fs::remove(path);
  std::ofstream(path) << "#!/bin/sh\n" << body;
  fs::permissions(path, fs::perms::owner_all);
}

[[noreturn]] inline void fail(const char* bench, const std::string& why) {
  std::fprintf(stderr, "%s: %s\n", bench, why.c_str());
  std::exit(1);
}

class LauncherCopy {
 public:
  // `name` tells the folder apart from other benches'.
  explicit LauncherCopy(const std::string& name)
      : root_(fs::temp_directory_path() / ("kaldra-" + name + "-" + std::to_string(getpid()))) {
    fs::remove_all(root_);
    fs::create_directories(root_);
    fs::copy(KALDRA_APP_PATH, app(), fs::copy_options::recursive | fs::copy_options::copy_symlinks);
    writeScript(app() / "Contents/Resources/bin/kaldra-update",
                "[ \"$1\" = texts ] && echo '{}'\nexit 0\n");
    env = kaldra::platform::readEnvironment();
    for (const char* variable : {"DISPLAY", "WAYLAND_DISPLAY", "KALDRA_SNAPSHOT_DIR",
                                 "KALDRA_TEST_ANSWERS", "KALDRA_TEST_STOP_BEFORE_GAME"})
      env.erase(variable);
    env["QT_QPA_PLATFORM"] = "offscreen";
    env["KALDRA_DATA_DIR"] = dataDir().string();
    env["KALDRA_TEST_INSTALL_DIR"] = root_.string();
    env["KALDRA_NO_SELF_UPDATE"] = "1";
  }
  ~LauncherCopy() {
    // Wine outlives the launcher's session: end it before its prefix goes.
    if (fs::exists(dataDir() / "prefix/system.reg"))
      std::system(("WINEPREFIX='" + (dataDir() / "prefix").string() +
                   "' /usr/lib/wine/wineserver -k 2>/dev/null")
                      .c_str());
    fs::remove_all(root_);
  }

  fs::path app() const { return root_ / "Kaldrith.app"; }
  fs::path dataDir() const { return root_ / "data"; }
  fs::path gameDir() const { return dataDir() / "prefix/drive_c/Kaldrith"; }

  // Puts the Windows stand-in game, which the demo channel publishes, in the game folder.
  void installWindowsGame() const {
    fs::create_directories(gameDir());
    fs::copy_file(app() / "Contents/Resources/demo-channel/kaldrith.exe",
                  gameDir() / "kaldrith.exe", fs::copy_options::overwrite_existing);
  }

  // The environment the launcher is started with.
  std::map<std::string, std::string> env;

  std::vector<std::string> environment() const {
    std::vector<std::string> entries;
    for (const auto& [key, value] : env) entries.push_back(key + "=" + value);
    return entries;
  }

  // Starts the launcher in a session of its own (the script, Wine and the game join it).
  int start() const {
    auto launcher = kaldra::platform::spawnProcess({.program = app() / "Contents/MacOS/Kaldrith",
                                                    .environment = environment(),
                                                    .out = kaldra::platform::Output::null(),
                                                    .err = kaldra::platform::Output::null(),
                                                    .nullInput = true,
                                                    .newSession = true});
    return launcher.pid;
  }

 private:
  fs::path root_;
};

}  // namespace bench
