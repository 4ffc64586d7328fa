#include "platform/running_applications.h"

#include <signal.h>

#include <array>
#include <vector>

#include "platform/plist_reader.h"
#include "platform/process_table.h"

namespace kaldra::platform {

namespace {

constexpr std::size_t kMaxPids = 16384;

// X.app for an executable at X.app/Contents/MacOS/<name>; empty otherwise.
std::filesystem::path bundleOfApplication(const std::filesystem::path& executable) {
  auto macos = executable.parent_path();
  auto contents = macos.parent_path();
  if (macos.filename() != "MacOS" || contents.filename() != "Contents") return {};
  return contents.parent_path();
}

}  // namespace

std::vector<RunningApplication> runningApplications(const std::string& bundleID) {
  std::vector<std::int32_t> pids(kMaxPids, 0);
  int count = listAllPids(pids.data(), pids.size());
  std::vector<RunningApplication> found;
  std::array<char, 4096> buffer{};
  for (int i = 0; i < count; ++i) {
    int length = readExecutablePath(pids[i], buffer.data(), buffer.size());
    if (length < 1) continue;
    auto bundle = bundleOfApplication(std::string(buffer.data(), static_cast<std::size_t>(length)));
    if (bundle.empty()) continue;
    auto info = readPlistStrings(bundle / "Contents/Info.plist");
    if (info && info->contains("CFBundleIdentifier") && info->at("CFBundleIdentifier") == bundleID)
      found.push_back({pids[i], bundle});
  }
  return found;
}

bool terminateApplication(std::int32_t pid) {
  return pid > 0 && ::kill(pid, SIGTERM) == 0;
}

bool forceTerminateApplication(std::int32_t pid) {
  return pid > 0 && ::kill(pid, SIGKILL) == 0;
}

}  // namespace kaldra::platform
