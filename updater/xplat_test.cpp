// The launcher channel's decisions and refusals through the built tool; the accepted
// update over HTTP is walked by the self-update end-to-end test.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "tests/support/temp_dir.h"
#include "updater/failure.h"
#include "updater/launcher_feed.h"
#include "updater/signature.h"
#include "updater/test_files.h"
#include "updater/test_process.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

std::vector<nlohmann::json> events(const std::string& out) {
  std::vector<nlohmann::json> list;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) list.push_back(nlohmann::json::parse(line));
  return list;
}

class LauncherChannel : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(temp_ / "v9/Kaldrith.app/Contents/Info.plist",
              "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>"
              "CFBundleShortVersionString</key><string>9.0</string></dict></plist>");
    writeFile(temp_ / "v9/Kaldrith.app/Contents/MacOS/Kaldrith", std::string(5000, 'k'));
    writeFile(keyFile_, buildSigningKey());
    auto run = runTool({"publish-launcher", (temp_ / "v9/Kaldrith.app").string(), channel_.string(),
                        "--key", keyFile_.string(), "--min-system", "1", "--disk-image-tool",
                        KALDRA_PLATFORM_TOOLS "/hdiutil"});
    ASSERT_EQ(run.status, 0) << run.err;
    feed_ = parseLauncherFeed(readText(channel_ / "launcher-macos.json"), "macos");
  }

  ToolRun check(const std::string& channel) {
    return runTool({"xplat-check", "--state", state_.string(), "--platform", "macos", "--lang",
                    "en", "--json", "--feed", channel});
  }
  ToolRun fetch(const std::string& channel) {
    return runTool({"xplat-fetch", "--state", state_.string(), "--platform", "macos", "--lang",
                    "en", "--json", "--out", out_.string(), "--feed", channel},
                   {"KALDRA_TEST_STALL_SECONDS=1", "KALDRA_TEST_RETRY_MS=20"});
  }
  // Replaces the feed, signed with `key`.
  void publishFeed(const LauncherFeed& feed, const std::string& key = buildSigningKey()) {
    auto bytes = launcherFeedJson(feed);
    writeFile(channel_ / "launcher-macos.json", bytes);
    writeFile(channel_ / "launcher-macos.json.sig", signBytes(bytes, key));
  }
  std::size_t filesIn(const fs::path& folder) {
    std::error_code ignored;
    std::size_t count = 0;
    for (fs::directory_iterator it(folder, ignored), end; !ignored && it != end;
         it.increment(ignored))
      ++count;
    return count;
  }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path state_ = temp_ / "state";
  fs::path out_ = temp_ / "state/xplat/download";
  fs::path keyFile_ = temp_ / "key.pem";
  LauncherFeed feed_;
};

TEST_F(LauncherChannel, DecisionsFollowTheFeedAndTheRollbackMarker) {
  struct Case {
    std::string version, minVersion, minSystem, skip;
    bool update, required, systemOk;
  } cases[] = {
      {"9.0", "", "", "", true, false, true},
      {"9.0", "", "", "9.0", false, false, true},   // rolled back before
      {"9.0", "2.0", "", "9.0", true, true, true},  // required wins over the marker
      {"9.0", "", "999.0", "", true, false, false},
      {KALDRA_PROJECT_VERSION, "", "", "", false, false, true},
      {"0.9", "", "", "", false, false, true},  // a downgrade is no update
      {"0.9", "2.0", "", "", false, true, true},
  };
  for (const auto& c : cases) {
    auto feed = feed_;
    feed.version = c.version;
    feed.minVersion = c.minVersion;
    feed.minSystem = c.minSystem;
    publishFeed(feed);
    fs::remove_all(state_);
    if (!c.skip.empty()) writeFile(state_ / "xplat/skip-version", c.skip + "\n");
    auto run = check(channel_.string());
    ASSERT_EQ(run.status, 0) << run.err;
    auto answer = nlohmann::json::parse(run.out);
    EXPECT_EQ(answer["update"], c.update) << c.version << " " << c.skip;
    EXPECT_EQ(answer["required"], c.required) << c.version;
    EXPECT_EQ(answer["systemOk"], c.systemOk) << c.minSystem;
  }
  auto run = fetch(channel_.string());  // the last feed offers 0.9
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(events(run.out).back()["type"], "error");
  EXPECT_EQ(filesIn(out_), 0u);
}

TEST_F(LauncherChannel, FeedsNotSignedByThePublisherOfferNothing) {
  auto bytes = readText(channel_ / "launcher-macos.json");
  auto tampered = bytes;
  tampered[tampered.find("9.0")] = '8';
  std::string cases[] = {"tampered", "other key", "unsigned"};
  for (const auto& name : cases) {
    publishFeed(feed_);
    if (name == "tampered") writeFile(channel_ / "launcher-macos.json", tampered);
    if (name == "other key") publishFeed(feed_, generatePrivateKeyPem());
    if (name == "unsigned") fs::remove(channel_ / "launcher-macos.json.sig");

    auto checked = check(channel_.string());
    EXPECT_EQ(checked.status, exitStatus(FailureKind::signature)) << name;
    auto answer = nlohmann::json::parse(checked.out);
    EXPECT_EQ(answer["type"], "error");
    EXPECT_EQ(answer["kind"], "signature");
    EXPECT_EQ(answer["update"], false);
    EXPECT_EQ(std::count(checked.err.begin(), checked.err.end(), '\n'), 1) << checked.err;

    auto fetched = fetch(channel_.string());
    EXPECT_EQ(fetched.status, exitStatus(FailureKind::signature)) << name;
    EXPECT_EQ(events(fetched.out).back()["kind"], "signature");
    EXPECT_EQ(filesIn(out_), 0u);
  }
}

}  // namespace
}  // namespace kaldra::update
