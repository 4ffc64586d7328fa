// Key rotations over years: only links the previous keys signed move a player on.
#include "updater/channel/key_chain.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <variant>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"
#include "updater/base/failure.h"
#include "updater/channel/freshness.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// `rotations` statements in `channel`, each retiring the last key; the keys, built-in first.
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

// A chain served short of the statement a player reached strands only fresh installs.
TEST(KeyChain, APlayerKeepsTheNewestStatementItReached) {
  kaldra::testing::TempDir temp;
  const fs::path channel = temp / "channel";
  auto keys = rotate(channel, 2);
  writeFile(channel / "kaldrith.exe", "MZ");
  publishFolder({.folder = channel, .version = "1.1", .privateKeyPem = keys.back()});
  auto prepare = [&](const fs::path& root) {
    return runTool({"prepare", "--root", root.string()},
                   {"KALDRA_UPDATE_CHANNEL=" + channel.string()})
        .status;
  };
  ASSERT_EQ(prepare(temp / "player"), 0);
  auto shorter = chainOf(channel);
  shorter.pop_back();
  writeFile(channel / kKeyChainName, keyChainJson(shorter));
  EXPECT_EQ(std::pair(prepare(temp / "player"), prepare(temp / "fresh")), std::pair(0, 8));
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

}  // namespace
}  // namespace kaldra::update
