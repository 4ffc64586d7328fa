// A game start's configuration in a temporary bundle and data folder, restored afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class GameSandbox {
 public:
  GameSandbox() : saved_(cfg) {
    cfg.env = {{"KALDRA_INHERITED", "kept"}, {"PATH", "/player/bin:/usr/bin"}};
    cfg.res = dir_ / "Kaldrith.app/Contents/Resources";
    cfg.dataDir = dir_ / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.lang = "en";
    cfg.texts.clear();
    std::filesystem::create_directories(cfg.logsDir);
  }
  ~GameSandbox() { cfg = saved_; }

  std::filesystem::path runtimeMarker() const { return cfg.dataDir / "prefix/.kaldra-runtime"; }

  // Writes share/kaldra-wine.sh; the shell runs it with "run".
  void writeStartScript(const std::string& body) const {
    std::filesystem::create_directories(cfg.res / "share");
    std::ofstream(cfg.res / "share/kaldra-wine.sh") << body;
  }

  // A copy of the system's sleep program where the game's process runs from (or at
  // `relative` below the Wine folder); its path.
  std::string installGame(const std::string& relative = "lib/wine/x86_64-unix/Kaldrith") const {
    std::filesystem::path path = cfg.res / "wine" / relative;
    std::filesystem::create_directories(path.parent_path());
    std::filesystem::copy_file("/bin/sleep", path,
                               std::filesystem::copy_options::overwrite_existing);
    return path.string();
  }

  // The launcher log's messages without their time stamps.
  std::vector<std::string> logLines() const { return launcherLogLines(cfg.logsDir); }

 private:
  TempDir dir_;
  Config saved_;
};

}  // namespace kaldra::testing
