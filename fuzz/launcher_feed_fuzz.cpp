// Any bytes as a launcher feed: the parser either throws UpdateError or gives a feed
// that writes back to the same feed, with a digest and versions its callers can trust.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/launcher/launcher_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kaldra::update;
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    auto feed = parseLauncherFeed(bytes, "macos");
    if (feed.sha256.size() != 64 || feed.version.empty() || feed.url.empty()) __builtin_trap();
    auto again = parseLauncherFeed(launcherFeedJson(feed), "macos");
    if (launcherFeedJson(again) != launcherFeedJson(feed)) __builtin_trap();
  } catch (const UpdateError&) {
  }
  return 0;
}
