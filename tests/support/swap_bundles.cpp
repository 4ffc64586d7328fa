#include "tests/support/swap_bundles.h"

#include <gtest/gtest.h>

#include <regex>

#include "proc/run_tool.h"
#include "tests/support/log_file.h"
#include "tests/support/running_program.h"

namespace kaldra::testing {

fs::path addSwapDriver(const LauncherRun& run) {
  fs::copy_file(KALDRA_SWAP_DRIVER, run.app() / "Contents/MacOS/swap-driver");
  runTool(KALDRA_CODESIGN, {"--sign", "-", "--force", run.app().string()});
  fs::path v2 = run.root() / "download/Kaldrith.app";
  copyAsVersion(run.app(), v2, "2.0.0");
  return v2;
}

void copyAsVersion(const fs::path& from, const fs::path& to, const std::string& version) {
  fs::create_directories(to.parent_path());
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::path plist = to / "Contents/Info.plist";
  std::string edited = readFile(plist);
  std::size_t start = edited.find("<string>", edited.find("<key>CFBundleShortVersionString"));
  start += std::string_view("<string>").size();
  edited.replace(start, edited.find('<', start) - start, version);
  std::ofstream(plist, std::ios::trunc) << edited;
  runTool(KALDRA_CODESIGN, {"--sign", "-", "--force", to.string()});
}

Pid spawnedHelper(const std::vector<std::string>& log) {
  static const std::regex spawned("swap helper spawn rc=0 pid=([0-9]+)");
  std::smatch match;
  Pid latest = 0;
  for (const auto& line : log)
    if (std::regex_match(line, match, spawned)) latest = std::stoi(match[1]);
  return latest;
}

bool waitForHelper(const LauncherRun& run, const fs::path& bundle, std::chrono::seconds limit) {
  Pid helper = spawnedHelper(run.logLines());
  return eventually([&] { return !isAlive(helper) && processesInside(bundle).empty(); }, limit);
}

std::string expectSettled(const LauncherRun& run, const fs::path& bundle) {
  auto [status, why] = runTool(KALDRA_CODESIGN, {"--verify", "--deep", "--strict", bundle});
  EXPECT_EQ(status, 0) << why;
  EXPECT_FALSE(fs::exists(run.dataDir() / "xplat/mac-swap.json"));
  EXPECT_FALSE(fs::exists(run.dataDir() / "xplat/mac-swap"));
  return bundleVersion(run, bundle);
}

std::string bundleVersion(const LauncherRun& run, const fs::path& bundle) {
  static const std::regex key("<key>CFBundleShortVersionString</key>\\s*<string>([^<]*)");
  std::string plist = run.file(bundle / "Contents/Info.plist");
  std::smatch match;
  return std::regex_search(plist, match, key) ? match[1].str() : "";
}

}  // namespace kaldra::testing
