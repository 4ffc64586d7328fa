#include "tests/support/swap_bundles.h"

#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "proc/process_queries.h"
#include "proc/run_tool.h"

namespace kaldra::testing {

void addSwapDriver(const LauncherRun& run) {
  fs::copy_file(KALDRA_SWAP_DRIVER, run.app() / "Contents/MacOS/swap-driver");
  runTool(KALDRA_CODESIGN, {"--sign", "-", "--force", run.app().string()});
}

void copyAsVersion(const fs::path& from, const fs::path& to, const std::string& version) {
  fs::create_directories(to.parent_path());
  fs::copy(from, to, fs::copy_options::recursive | fs::copy_options::copy_symlinks);
  fs::path plist = to / "Contents/Info.plist";
  std::stringstream text;
  text << std::ifstream(plist).rdbuf();
  std::string edited = text.str();
  std::size_t start = edited.find("<string>", edited.find("<key>CFBundleShortVersionString"));
  start += std::string_view("<string>").size();
  edited.replace(start, edited.find('<', start) - start, version);
  std::ofstream(plist, std::ios::trunc) << edited;
  runTool(KALDRA_CODESIGN, {"--sign", "-", "--force", to.string()});
}

bool sealHolds(const fs::path& bundle, std::string* why) {
  auto [status, output] = runTool(KALDRA_CODESIGN, {"--verify", "--deep", "--strict", bundle});
  if (why) *why = output;
  return status == 0;
}

RunResult prepareExchange(LauncherRun& run, const std::string& op, const fs::path& source,
                          const fs::path& target, const std::string& from, const std::string& to) {
  return run.startProgram(run.app() / "Contents/MacOS/swap-driver",
                          {"prepare", op, source.string(), target.string(), from, to});
}

bool waitForHelper(const LauncherRun& run, const fs::path& bundle, std::chrono::seconds limit) {
  Pid helper = 0;
  std::smatch match;
  static const std::regex spawned("swap helper spawn rc=0 pid=([0-9]+)");
  for (const auto& line : run.logLines())
    if (std::regex_match(line, match, spawned)) helper = std::stoi(match[1]);
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (isAlive(helper) || !processesInside(bundle).empty()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

}  // namespace kaldra::testing
