// Key rotations over years: every player walks from the statement it trusts to the newest,
// and nothing but a link the previous keys signed moves it.
#include "updater/channel/key_chain.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <functional>
#include <limits>
#include <variant>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"
#include "tests/support/web_server.h"
#include "updater/base/failure.h"
#include "updater/channel/freshness.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// A chain of `rotations` statements in `channel`, each retiring the key before it; returns
// the private keys, the built-in one first.
std::vector<std::string> rotate(const fs::path& channel, int rotations) {
  std::vector<std::string> keys{buildSigningKey()};
  for (int i = 0; i < rotations; ++i) {
    keys.push_back(generatePrivateKeyPem());
    rotateKeys(channel, keys[keys.size() - 2], keys.back(), true);
  }
  return keys;
}

std::vector<ChainLink> chainOf(const fs::path& channel) {
  return parseKeyChain(readFile(channel / kKeyChainName));
}

TEST(KeyChain, OnlyLinksThePreviousKeysSignedMoveAPlayer) {
  kaldra::testing::TempDir temp;
  auto keys = rotate(temp.path(), 3);
  const auto chain = chainOf(temp.path());
  auto second = parseKeyStatement(chain[1].statement);
  using Reached = std::variant<std::uint64_t, FailureKind>;
  struct Row {
    const char* name;
    std::function<void(std::vector<ChainLink>&)> twist;
    KeyStatement from;
    std::string fromText;
    Reached reached;
  };
  auto publicOf = [&](int i) { return publicKeyOf(keys[i]); };
  std::vector<Row> rows{
      {"intact, fresh", [](auto&) {}, builtInStatement(), "", 3u},
      {"intact, from statement 2", [](auto&) {}, second, chain[1].statement, 3u},
      {"an older chain replayed", [](auto& c) { c.resize(1); }, second, chain[1].statement, 2u},
      {"a gap", [](auto& c) { c.erase(c.begin() + 1); }, builtInStatement(), "",
       FailureKind::manifest},
      {"not signed by the previous keys",
       [&](auto& c) {
         std::erase_if(c[1].signatures, [&](auto& s) { return s.key == publicOf(1); });
       },
       builtInStatement(), "", FailureKind::signature},
      {"a new key that did not sign",
       [&](auto& c) {
         std::erase_if(c[1].signatures, [&](auto& s) { return s.key == publicOf(2); });
       },
       builtInStatement(), "", FailureKind::signature},
      {"a signature under another key's name",
       [&](auto& c) { c[1].signatures[0].key = publicOf(0); }, builtInStatement(), "",
       FailureKind::signature},
      {"a statement changed after signing",
       [](auto& c) { c[2].statement.insert(c[2].statement.find("\"keys\""), " "); },
       builtInStatement(), "", FailureKind::signature},
      {"a fork from the kept statement", [&](auto& c) { c[1] = c[2]; }, second, chain[1].statement,
       FailureKind::signature},
  };
  for (const auto& row : rows) {
    auto twisted = chain;
    row.twist(twisted);
    std::string newest;
    try {
      auto head = walkKeyChain(twisted, row.from, row.fromText, newest);
      EXPECT_EQ(Reached(head.number), row.reached) << row.name;
      EXPECT_EQ(head.keys, std::vector{publicKeyOf(keys[head.number])}) << row.name;
    } catch (const UpdateError& error) {
      EXPECT_EQ(Reached(error.kind()), row.reached) << row.name << ": " << error.what();
    }
  }

  // A hundred rotations: a fresh install walks them all.
  auto many = rotate(temp / "many", 100);
  std::string newest;
  auto head = walkKeyChain(chainOf(temp / "many"), builtInStatement(), "", newest);
  EXPECT_EQ(std::pair(head.number, head.keys),
            std::pair(std::uint64_t{100}, std::vector{publicKeyOf(many.back())}));
}

// The next publish is newer, or refused with what to do; never older.
TEST(KeyChain, NextFreshnessNeverWrapsAndANewStatementOutranksAnySequence) {
  constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
  struct Row {
    Freshness previous;
    std::uint64_t keys;
    std::optional<std::uint64_t> sequence;  // none: refused
  } rows[] = {{{5}, 0, 1000},
              {{2000}, 0, 2001},
              {{kMax}, 0, std::nullopt},
              {{kMax}, 1, 1000},
              {{kMax - 1, {}, 1}, 1, kMax},
              {{7, {}, 2}, 1, std::nullopt}};
  for (const auto& row : rows) {
    try {
      auto next = nextFreshness(row.previous, row.keys, 1000, 1);
      EXPECT_EQ(std::tuple(std::optional(next.sequence), next.keys, *next.expires),
                std::tuple(row.sequence, row.keys, 1000 + 86400));
      EXPECT_TRUE(next.newerThan(row.previous));
    } catch (const UpdateError& error) {
      EXPECT_EQ(row.sequence, std::nullopt) << error.what();
    }
  }
}

// Players of every step, and fresh installs, over HTTP and HTTPS: four rotations, each
// retiring the key before it.
class KeyChainOverHttp : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyChainOverHttp, PlayersWhoStoppedAtAnyStepAndFreshInstallsReachTheNewestKeys) {
  kaldra::testing::TempDir temp;
  const fs::path channel = temp / "channel";
  kaldra::testing::WebServer web(channel);
  std::vector<fs::path> keys{KALDRA_SIGNING_KEY};
  std::vector<fs::path> players;
  int fresh = 0;
  auto prepare = [&](const fs::path& root) {
    return runTool({"prepare", "--root", root.string(), "--lang", "en"},
                   {"KALDRA_UPDATE_CHANNEL=" + web.url(GetParam()),
                    "KALDRA_TEST_CA_FILE=" + web.caFile(), "KALDRA_TEST_RETRY_MS=1"});
  };
  auto everyone = [&] {
    auto all = players;
    all.push_back(temp / ("fresh-" + std::to_string(++fresh)));
    return all;
  };
  auto publish = [&](int step) {
    writeFile(channel / "kaldrith.exe", "MZ " + std::to_string(step));
    return runTool({"publish", channel.string(), "--key", keys.back().string(), "--version",
                    "1." + std::to_string(step)});
  };
  ASSERT_EQ(publish(0).status, 0);
  for (int step = 1; step <= 4; ++step) {
    players.push_back(temp / ("stopped-after-" + std::to_string(step - 1)));
    ASSERT_EQ(prepare(players.back()).status, 0);
    keys.push_back(temp / ("key-" + std::to_string(step) + ".pem"));
    writeFile(keys.back(), generatePrivateKeyPem());
    ASSERT_EQ(runTool({"rotate-key", channel.string(), "--key", keys[step - 1].string(),
                       "--new-key", keys[step].string(), "--retire"})
                  .status,
              0);
    ASSERT_EQ(publish(step).status, 0);
    const auto manifestSignature = readFile(channel / "manifest.json.sig");
    const auto chain = readFile(channel / kKeyChainName);
    // The retired key's manifest is refused by everyone (who walk the chain meanwhile);
    // the chain as it was before this step leaves only a fresh install short of the key.
    writeFile(channel / "manifest.json.sig",
              signBytes(readFile(channel / kManifestName), readFile(keys[step - 1])));
    for (const auto& root : everyone()) EXPECT_EQ(prepare(root).status, 8) << root;
    writeFile(channel / "manifest.json.sig", manifestSignature);
    auto older = chainOf(channel);
    older.pop_back();
    writeFile(channel / kKeyChainName, keyChainJson(older));
    for (const auto& root : everyone())
      EXPECT_EQ(prepare(root).status, root.filename().string().starts_with("fresh") ? 8 : 0);
    writeFile(channel / kKeyChainName, chain);
    for (const auto& root : everyone()) {
      auto run = prepare(root);
      EXPECT_EQ(std::pair(run.status, readFile(root / "kaldrith.exe")),
                std::pair(0, "MZ " + std::to_string(step)))
          << root << run.err;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Schemes, KeyChainOverHttp, ::testing::Values("http", "https"));

}  // namespace
}  // namespace kaldra::update
