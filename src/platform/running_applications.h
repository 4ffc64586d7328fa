// Running applications as the platform's workspace lists them: processes started from
// an application bundle's executable, known by the bundle's identifier.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kaldra::platform {

struct RunningApplication {
  std::int32_t pid = 0;
  std::filesystem::path bundle;  // X.app, symbolic links resolved
};

// The processes whose executable lies in <bundle>/Contents/MacOS/ of a bundle whose
// Info.plist names `bundleID` as its CFBundleIdentifier, in the system's order.
std::vector<RunningApplication> runningApplications(const std::string& bundleID);

// Asks the application to quit (it may decline). False when the request was not sent.
bool terminateApplication(std::int32_t pid);

// Ends the application at once. False when it could not be ended.
bool forceTerminateApplication(std::int32_t pid);

}  // namespace kaldra::platform
