// The launcher channel's decisions and refusals through the built tool.
#include <gtest/gtest.h>
#include <sys/utsname.h>

#include <nlohmann/json.hpp>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"
#include "tests/support/web_server.h"
#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/channel/signature.h"
#include "updater/game/download.h"
#include "updater/launcher/launcher_feed.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// The kernel release as the tool reads it, such as "6.1.0".
std::string systemVersion() {
  utsname name{};
  ::uname(&name);
  std::string release = name.release;
  return release.substr(0, release.find_first_not_of("0123456789."));
}

TEST(LauncherChannel, DecisionsFollowTheFeedAndTheRollbackMarkerAndOnlyThePublisherIsHeard) {
  kaldra::testing::TempDir temp;
  const fs::path channel = temp / "channel", state = temp / "state", out = state / "xplat/download";
  std::string feedUrl = channel.string(), caFile;  // a folder first, then nginx
  auto tool = [&](const std::string& command) {
    std::vector<std::string> args{command,  "--state", state.string(), "--platform", "macos",
                                  "--lang", "en",      "--json",       "--feed",     feedUrl};
    if (command == "xplat-fetch") args.insert(args.end(), {"--out", out.string()});
    return runTool(args, {"KALDRA_TEST_STALL_SECONDS=1", "KALDRA_TEST_RETRY_MS=20",
                          "KALDRA_TEST_CA_FILE=" + caFile});
  };
  auto publish = [&](const std::string& version, const std::string& minVersion,
                     const std::string& minSystem, const std::string& key = buildSigningKey(),
                     const std::string& image = std::string(5000, 'i'), Freshness freshness = {}) {
    writeFile(channel / "Kaldrith.dmg", image);
    LauncherFeed feed{"macos",        version,      minVersion,       minSystem,
                      "Kaldrith.dmg", image.size(), sha256Hex(image), freshness};
    auto bytes = launcherFeedJson(feed);
    writeFile(channel / "launcher-macos.json", bytes);
    writeFile(channel / "launcher-macos.json.sig", signBytes(bytes, key));
  };
  auto expectFetchRefused = [&](FailureKind kind) {
    EXPECT_EQ(tool("xplat-fetch").status, exitStatus(kind));
    EXPECT_TRUE(!fs::exists(out) || fs::is_empty(out)) << "something was written";
  };

  // The platform's name becomes part of file names: a path is no name.
  EXPECT_EQ(runTool({"xplat-check", "--state", state.string(), "--platform", "../x"}).status, 2);

  struct Case {
    std::string version, minVersion, minSystem, skip;
    std::vector<bool> updateRequiredSystemOk;
  } cases[] = {
      {"9.0", "", "", "", {true, false, true}},
      {"9.0", "", "", "9.0", {false, false, true}},   // rolled back before
      {"9.0", "2.0", "", "9.0", {true, true, true}},  // required wins over the marker
      {"9.0", "", "999.0", "", {true, false, false}},
      // At the boundaries: the running version and system are enough.
      {"9.0", KALDRA_PROJECT_VERSION, systemVersion(), "", {true, false, true}},
      {KALDRA_PROJECT_VERSION, "", "", "", {false, false, true}},
      {"0.9", "", "", "", {false, false, true}},  // a downgrade is no update
      {"0.9", "2.0", "", "", {false, true, true}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.version + " skip " + c.skip + " system " + c.minSystem);
    publish(c.version, c.minVersion, c.minSystem);
    fs::remove_all(state);
    if (!c.skip.empty()) writeFile(state / "xplat/skip-version", c.skip + "\n");
    auto run = tool("xplat-check");
    ASSERT_EQ(run.status, 0) << run.err;
    auto answer = nlohmann::json::parse(run.out);
    EXPECT_EQ((std::vector<bool>{answer["update"], answer["required"], answer["systemOk"]}),
              c.updateRequiredSystemOk);
  }
  expectFetchRefused(FailureKind::other);  // the last feed offers 0.9

  // A feed for another platform, however well signed, is no offer here.
  auto other = launcherFeedJson({"linux", "9.0", "", "", "K.dmg", 1, std::string(64, 'a')});
  writeFile(channel / "launcher-macos.json", other);
  writeFile(channel / "launcher-macos.json.sig", signBytes(other, buildSigningKey()));
  EXPECT_EQ(tool("xplat-check").status, exitStatus(FailureKind::manifest));

  for (const std::string name : {"tampered", "other key", "unsigned"}) {
    SCOPED_TRACE(name);
    publish("9.0", "", "", name == "other key" ? generatePrivateKeyPem() : buildSigningKey());
    if (name == "tampered") std::ofstream(channel / "launcher-macos.json", std::ios::app) << ' ';
    if (name == "unsigned") fs::remove(channel / "launcher-macos.json.sig");

    auto checked = tool("xplat-check");
    EXPECT_EQ(checked.status, exitStatus(FailureKind::signature));
    auto answer = nlohmann::json::parse(checked.out);
    EXPECT_TRUE(answer["kind"] == "signature" && answer["update"] == false) << checked.out;
    EXPECT_EQ(std::count(checked.err.begin(), checked.err.end(), '\n'), 1) << checked.err;
    expectFetchRefused(FailureKind::signature);
  }

  // Metadata that trickles in, fast enough never to stall, is given up in the time allowed
  // for it, on either channel.
  publishChannel(channel, {{"kaldrith.exe", "MZ"}});
  kaldra::testing::WebServer web(channel);
  const std::string trickle = web.url("http") + "/trickle";
  const std::vector<std::string> impatient = {"KALDRA_TEST_METADATA_SECONDS=1",
                                              "KALDRA_TEST_RETRY_MS=20",
                                              "KALDRA_UPDATE_CHANNEL=" + trickle};
  for (const auto& run : {runTool({"xplat-check", "--state", state.string(), "--platform", "macos",
                                   "--lang", "en", "--json", "--feed", trickle},
                                  impatient),
                          runTool({"prepare", "--root", (temp / "game").string()}, impatient)}) {
    EXPECT_EQ(run.status, exitStatus(FailureKind::network)) << run.err;
    EXPECT_NE(run.err.find("not in time"), std::string::npos) << run.err;
  }

  // The trust rows over the real server, HTTP and HTTPS, each from a fresh state folder.
  for (const std::string scheme : {"http", "https"}) {
    SCOPED_TRACE(scheme);
    feedUrl = web.url(scheme);
    caFile = web.caFile();
    fs::remove_all(state);
    for (auto name : {"keys.json", "keys.json.sig", "key-chain.json"}) fs::remove(channel / name);
    // A feed older than one this launcher accepted from the channel, or past its time, is no
    // offer; the one accepted stays one.
    const auto now = unixNow();
    for (const auto& [freshness, status] : {std::pair{Freshness{5, now + 60}, 0},
                                            {Freshness{4, now + 60}, 10},
                                            {Freshness{6, now - 1}, 10},
                                            {Freshness{5, now + 60}, 0}}) {
      publish("9.0", "", "", buildSigningKey(), std::string(5000, 'i'), freshness);
      auto checked = tool("xplat-check");
      EXPECT_EQ(checked.status, status) << checked.err;
      EXPECT_EQ(nlohmann::json::parse(checked.out)["update"], status == 0);
    }

    // Only the image on offer is kept, its own download continued where it stopped, and a
    // complete one is never fetched again.
    publish("9.0", "", "", buildSigningKey(), std::string(5000, 'i'), Freshness{7, now + 60});
    writeFile(out / "Kaldrith-8.0.dmg", "an older image");
    writeFile(out / "0123-4567.part", "part of an older image");
    writeFile(out / "notes.txt", "the player's own");
    const std::string image(5000, 'i');
    writeFile(
        out / partialName({.path = "Kaldrith-9.0.dmg", .size = 5000, .sha256 = sha256Hex(image)}),
        image.substr(0, 3000));
    auto continued = tool("xplat-fetch");
    EXPECT_EQ(continued.status, 0);
    EXPECT_NE(continued.err.find("2000 of them fetched in this run"), std::string::npos)
        << continued.err;
    fs::remove(channel / "Kaldrith.dmg");
    auto again = tool("xplat-fetch");
    EXPECT_EQ(again.status, 0) << again.err;
    std::set<std::string> kept;
    for (const auto& entry : fs::directory_iterator(out)) kept.insert(entry.path().filename());
    EXPECT_EQ(kept, (std::set<std::string>{"Kaldrith-9.0.dmg", "notes.txt"}));

    // After a rotation that retires the built-in key, only the new key's feed is an offer.
    kaldra::testing::TempDir keys;
    const std::string newKey = generatePrivateKeyPem();
    writeFile(keys / "new.pem", newKey);
    ASSERT_EQ(runTool({"rotate-key", channel.string(), "--key", KALDRA_SIGNING_KEY, "--new-key",
                       (keys / "new.pem").string(), "--retire"})
                  .status,
              0);
    for (const auto& [key, status] : {std::pair{buildSigningKey(), 8}, {newKey, 0}}) {
      publish("9.1", "", "", key, std::string(5000, 'i'), Freshness{10, now + 60, 1});
      auto checked = tool("xplat-check");
      EXPECT_EQ(checked.status, status) << checked.err;
      EXPECT_EQ(nlohmann::json::parse(checked.out)["update"], status == 0);
    }
  }
}

}  // namespace
}  // namespace kaldra::update
