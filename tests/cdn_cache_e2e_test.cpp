// The channel behind nginx caching as a CDN does, the origin sending the README's headers:
// content-named objects never go stale; files fetched whole by their paths do.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "tests/support/nginx.h"
#include "tests/support/tool_run.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t found = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++found;
  return found;
}

TEST(ThroughACache, EveryPlayerGetsTheNewVersionAndTheOriginServesEachObjectOnce) {
  for (Layout layout : {Layout::chunkStore, Layout::wholeFiles}) {
    bool chunked = layout == Layout::chunkStore;
    SCOPED_TRACE(chunked ? "chunk store" : "whole files");
    kaldra::testing::TempDir temp;
    fs::path channel = temp / "channel";
    kaldra::testing::Nginx origin(1, [&](const auto& ports) {
      return "server { listen 127.0.0.1:" + std::to_string(ports[0]) + "; root " +
             channel.string() +
             ";\n"
             "location /kaldra-store/ { add_header Cache-Control "
             "\"public, max-age=31536000, immutable\"; }\n"
             "location ~ ^/(manifest|keys)\\.json(\\.sig)?$ { add_header Cache-Control "
             "\"public, max-age=1\"; }\n"
             "location / { add_header Cache-Control \"public, max-age=3600\"; } }\n";
    });
    kaldra::testing::Nginx cache(1, [&](const auto& ports) {
      return "proxy_cache_path cache levels=1:2 keys_zone=edge:1m inactive=1d "
             "use_temp_path=off;\nserver { listen 127.0.0.1:" +
             std::to_string(ports[0]) +
             "; location / { proxy_pass http://127.0.0.1:" + std::to_string(origin.port(0)) +
             "; proxy_cache edge; } }\n";
    });
    // Versions share the last 150 kB: a new one is built from chunks.
    auto publish = [&](unsigned seed) {
      std::mt19937 random(seed), shared(0);
      std::string big(400000, '\0');
      for (std::size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>(i < 250000 ? random() : shared());
      std::map<std::string, std::string> files{{"kaldrith.exe", "MZ " + std::to_string(seed)},
                                               {"data/big.pak", big}};
      publishChannel(channel, files, "v" + std::to_string(seed), 30, layout);
      return files;
    };
    auto prepare = [&](const std::string& player) {
      return runTool({"prepare", "--root", (temp / player).string(), "--json"},
                     {"KALDRA_UPDATE_CHANNEL=http://127.0.0.1:" + std::to_string(cache.port(0)),
                      "KALDRA_TEST_RETRY_MS=50"});
    };
    auto storeRequests = [&] { return count(origin.requests(), "/kaldra-store/"); };

    publish(1);
    ASSERT_EQ(prepare("first").status, 0);
    auto served = storeRequests();
    EXPECT_EQ(served > 0, chunked);
    // Nothing of it here, and nothing compresses: each file in one piece, by its content.
    EXPECT_EQ(count(origin.requests(), "/kaldra-store/files/"), served);
    // A second player of the same version: the cache serves every object of the store.
    ASSERT_EQ(prepare("second").status, 0);
    EXPECT_EQ(storeRequests(), served);

    // A new version under the same paths, while the cache holds the old one's objects: once
    // the manifest's short time in the cache has passed, every player gets it whole.
    auto files = publish(2);
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));  // whole seconds, rounded
    auto run = prepare("first");
    EXPECT_EQ(run.status, chunked ? 0 : 5) << run.err;  // whole files: the cache's old bytes
    for (const auto& [path, content] : files)
      EXPECT_EQ(readFile(temp / "first" / path) == content, chunked) << path;
    EXPECT_EQ(count(origin.requests(), "/kaldra-store/chunks/") > 0, chunked);
  }
}

}  // namespace
}  // namespace kaldra::update
