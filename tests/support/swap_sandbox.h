// A private world for the swap's unit tests: configuration pointing into a temporary
// folder, the real platform tool stand-ins, small sealed bundles and the log.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "core/config.h"
#include "proc/run_tool.h"
#include "tests/support/log_file.h"
#include "tests/support/temp_dir.h"

namespace kaldra::testing {

class SwapSandbox : public ::testing::Test {
 protected:
  // Also starts a test afresh when a table-driven test calls it again for a new row.
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    cfg = Config{};
    cfg.res = dir / "running.app/Contents/Resources";
    cfg.dataDir = dir / "data";
    cfg.logsDir = cfg.dataDir / "logs";
    cfg.xplatDir = cfg.dataDir / "xplat";
    cfg.swapPlanURL = cfg.xplatDir / "mac-swap.json";
    cfg.bundleID = std::string(kBundleID);
    fs::create_directories(cfg.res);
    fs::create_directory_symlink(KALDRA_PLATFORM_TOOLS, cfg.res / "platform");
  }

  // A sealed bundle of `id` and `version` with one executable file.
  fs::path makeBundle(const fs::path& bundle, const std::string& version,
                      const std::string& id = std::string(kBundleID)) {
    fs::create_directories(bundle / "Contents/MacOS");
    std::ofstream(bundle / "Contents/Info.plist")
        << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>"
        << "<key>CFBundleIdentifier</key><string>" << id << "</string>"
        << "<key>CFBundleShortVersionString</key><string>" << version << "</string>"
        << "<key>CFBundleExecutable</key><string>Kaldrith</string></dict></plist>\n";
    std::ofstream(bundle / "Contents/MacOS/Kaldrith") << "launcher " << version << "\n";
    runTool(KALDRA_PLATFORM_TOOLS "/codesign", {"--sign", "-", bundle.string()});
    return bundle;
  }

  std::vector<std::string> logLines() const { return launcherLogLines(cfg.logsDir); }

  TempDir dir;
};

}  // namespace kaldra::testing
