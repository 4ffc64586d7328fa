// The tool as the launcher sees it: a program, its output, error and exit status.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <iterator>
#include <limits>
#include <random>
#include <thread>

#include "tests/support/game_channel.h"
#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"
#include "tests/support/web_server.h"
#include "updater/base/failure.h"
#include "updater/channel/freshness.h"
#include "updater/channel/manifest.h"
#include "updater/game/game_folder.h"
#include "updater/texts/messages.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

bool isOneLine(const std::string& text) {
  return !text.empty() && text.back() == '\n' && text.find('\n') == text.size() - 1;
}

// A channel folder and a game folder, and the tool's commands on them.
class Cli : public ::testing::Test {
 protected:
  ToolRun prepare(const std::string& from, const std::string& lang = "en", fs::path at = {}) {
    return runTool(
        {"prepare", "--root", (at.empty() ? root : at).string(), "--json", "--lang", lang},
        {"KALDRA_UPDATE_CHANNEL=" + from, "KALDRA_TEST_RETRY_MS=1"});
  }
  ToolRun publish(const std::string& version, const std::string& key = KALDRA_SIGNING_KEY,
                  std::vector<std::string> more = {}) {
    more.insert(more.begin(), {"publish", channel.string(), "--key", key, "--version", version});
    return runTool(more);
  }
  kaldra::testing::TempDir temp;
  const fs::path channel = temp / "channel", root = temp / "game";
};

// "prepare" and "verify" as the launcher runs them, one after the other on one folder.
TEST_F(Cli, PrepareStopsForARunningGameSpeaksTheRunsLanguageAndVerifyChecksItsWork) {
  publishChannel(channel, {{"kaldrith.exe", "MZ"}, {"data/world.pak", "world"}});
  auto verify = [&] { return runTool({"verify", "--root", root.string(), "--lang", "en"}); };
  {
    fs::create_directories(root);
    fs::copy_file("/bin/sleep", root / "game");
    kaldra::testing::RunningProgram game((root / "game").string(), {"60"}, temp.path());
    auto running = prepare(channel.string(), "en");
    EXPECT_EQ(std::pair(running.status, running.out), std::pair(kExitGameRunning, std::string()));
    EXPECT_TRUE(isOneLine(running.err)) << running.err;
    EXPECT_FALSE(fs::exists(root / "kaldrith.exe") || fs::exists(statePath(root)));
  }
  // An empty setting is no setting: the bundle's own channel is used.
  EXPECT_EQ(prepare("", "en", temp / "demo").status, 0);
  auto none = verify();
  EXPECT_EQ(none.status, exitStatus(FailureKind::manifest));
  // A FIFO where the saved manifest belongs is refused, never waited on.
  ::mkfifo(savedManifestPath(root).c_str(), 0600);
  EXPECT_EQ(verify().status, exitStatus(FailureKind::manifest));
  fs::remove(savedManifestPath(root));

  auto failed = prepare("http://127.0.0.1:1/channel", "de");
  EXPECT_EQ(failed.status, exitStatus(FailureKind::network));
  auto last = parseEvents(failed.out).back();
  EXPECT_EQ(last["kind"], "network");
  EXPECT_EQ(last["user"], failureMessage(FailureKind::network, Language::de));
  EXPECT_NE(failed.err.find("127.0.0.1:1"), std::string::npos) << failed.err;

  EXPECT_EQ(prepare(channel.string(), "klingon").status, 2);
  auto done = prepare(channel.string(), "fr");
  EXPECT_EQ(done.status, 0) << done.err;
  EXPECT_EQ(parseEvents(done.out).back()["label"], message(Message::readyUpdated, Language::fr));
  EXPECT_NE(done.err.find(channel.string()), std::string::npos) << done.err;
  {
    // Another run holds the folder, even only to read it: a newer version waits, and
    // neither command touches it.
    publishChannel(channel, {{"kaldrith.exe", "MZ 2"}}, "2.0");
    int held = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_EQ(::flock(held, LOCK_SH | LOCK_NB), 0);
    auto busy = prepare(channel.string(), "it");
    auto busyEvent = parseEvents(busy.out).back();
    EXPECT_EQ(std::tuple(busy.status, busyEvent["kind"], busyEvent["user"], verify().status),
              std::tuple(9, "busy", failureMessage(FailureKind::busy, Language::it), 9));
    EXPECT_EQ(readFile(root / "kaldrith.exe"), "MZ");
    EXPECT_FALSE(fs::exists(partialDir(root)));
    ::close(held);
  }
  EXPECT_EQ(verify().status, 0);
  writeFile(root / "kaldrith.exe", "ZM");
  auto bad = verify();
  EXPECT_EQ(bad.status, exitStatus(FailureKind::integrity));
  EXPECT_TRUE(isOneLine(none.err) && isOneLine(bad.err)) << none.err << bad.err;
}

// What a publisher ships: regular files only, each readable by a web server of another
// user, without what is left out; what it says; and nothing written where it refuses.
TEST_F(Cli, PublishSaysWhatItDoesAndShipsOnlyWhatItShould) {
  writeFile(temp / "private.key", "secret");
  for (const auto* path : {"kaldrith.exe", ".env", ".git/config", "notes.txt~", "data/dev/x.pdb",
                           "logs/a.log", "data/logs"})
    writeFile(channel / path, path);
  writeFile(channel / ".kaldra-ignore", "# what never ships\nlogs/\n*.pdb\n");
  // The first without its /proc/self/fd, where no object can be written unnamed and then
  // linked.
  fs::create_directories(temp / "empty");
  auto first =
      runTool({"-m", "sh", "-c",
               "mount --bind '" + (temp / "empty").string() + "' /proc/$$/fd && exec \"$0\" \"$@\"",
               KALDRA_UPDATER_PATH, "publish", channel.string(), "--key", KALDRA_SIGNING_KEY,
               "--version", "1.0", "--exclude", ".git/"},
              {}, "/usr/bin/unshare");
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(runTool({"check", channel.string()}).status, 0);
  const std::string expiry = "players refuse it after " + utcDate(unixNow() + 30 * 86400);
  for (const auto* said : {"  added    kaldrith.exe (12 B)\n", "warning: 2 files look like",
                           " .env notes.txt~;", expiry.c_str()})
    EXPECT_NE(first.out.find(said), std::string::npos) << said << "\n" << first.out;
  std::set<std::string> paths;
  for (const auto& file : parseManifest(readFile(channel / kManifestName)).files)
    paths.insert(file.path);
  EXPECT_EQ(paths, (std::set<std::string>{".env", "data/logs", "kaldrith.exe", "notes.txt~"}));
  for (std::string_view name : {kManifestName, std::string_view("manifest.json.sig")})
    EXPECT_NE(fs::status(channel / name).permissions() & fs::perms::others_read, fs::perms::none);

  const auto published = readFile(channel / kManifestName);
  const auto objects = storeObjects(channel);
  writeFile(channel / "kaldrith.exe", "MZ 2");
  fs::remove(channel / ".env");
  auto dry = publish("1.1", KALDRA_SIGNING_KEY, {"--exclude", ".git/", "--dry-run"});
  for (const auto* said :
       {"  changed  kaldrith.exe (4 B)\n", "  removed  .env\n", "the store would grow by ",
        "players on 1.0 would fetch about ", "dry run: nothing written"})
    EXPECT_NE(dry.out.find(said), std::string::npos) << said << "\n" << dry.out;
  // Refused: an older or equal version, a version that is no numbers, a link.
  fs::create_symlink(temp / "private.key", channel / "key.pem");
  for (const auto& [version, status] :
       {std::pair{"1.1", 1}, {"1.0", 1}, {"0.9.9", 1}, {"1.x", 2}, {"", 2}}) {
    if (std::string(version) != "1.1") fs::remove(channel / "key.pem");
    EXPECT_EQ(publish(version, KALDRA_SIGNING_KEY, {"--exclude", ".git/"}).status, status)
        << version;
  }
  EXPECT_EQ(std::pair(readFile(channel / kManifestName), storeObjects(channel)),
            std::pair(published, objects));
}

// Only what no kept manifest names goes, and nothing at all when a list a kept manifest
// names is not the one it names.
TEST_F(Cli, PruneRemovesOnlyWhatNoKeptManifestNames) {
  std::map<std::string, std::string> files{{"data/a.pak", std::string(200000, 'a')},
                                           {"data/b.pak", "b one"}};
  publishChannel(channel, files, "1.0", 30, Layout::chunkStore);
  fs::copy_file(channel / kManifestName, temp / "1.0.json");
  auto firstList = storeObjects(channel);
  files["data/b.pak"] = "b two";
  publishChannel(channel, files, "2.0", 30, Layout::chunkStore);
  publishChannel(temp / "alone", files, "2.0", 30, Layout::chunkStore);  // 2.0's own objects
  writeFile(channel / kStoreFolder / "lists/.tmp-1-1", "a publish under way");
  auto all = storeObjects(channel);
  auto prune = [&](std::vector<std::string> more) {
    more.insert(more.begin(), {"prune", channel.string()});
    return runTool(more);
  };

  EXPECT_EQ(prune({(temp / "1.0.json").string()}).out,
            "removed 0 objects (0 bytes) that no kept manifest names\n");
  // What only 1.0 names: the list, the chunk and the copy of "b one".
  auto alone = storeObjects(temp / "alone");
  std::vector<std::string> gone;
  std::ranges::set_difference(firstList, alone, std::back_inserter(gone));
  ASSERT_EQ(gone.size(), 3u);
  std::uint64_t goneBytes = 0;
  for (const auto& object : gone) goneBytes += fs::file_size(channel / object);
  auto isList = [](const std::string& object) { return object.find("/lists/") != object.npos; };
  auto listOfB = *std::ranges::find_if(gone, isList);
  // Another list in its place: a list still, but not the one named.
  auto kept = readFile(channel / listOfB);
  writeFile(channel / listOfB, readFile(temp / "alone" / *std::ranges::find_if(alone, isList)));
  EXPECT_EQ(prune({(temp / "1.0.json").string()}).status, exitStatus(FailureKind::manifest));
  writeFile(channel / listOfB, kept);
  EXPECT_EQ(prune({"--dry-run"}).out, "would remove 3 objects (" + std::to_string(goneBytes) +
                                          " bytes) that no kept manifest names\n");
  EXPECT_EQ(storeObjects(channel), all);
  EXPECT_EQ(prune({}).status, 0);
  alone.insert(std::string(kStoreFolder) + "/lists/.tmp-1-1");
  EXPECT_EQ(storeObjects(channel), alone);

  // The patch from the version before the kept one stays, with its index.
  std::mt19937 random(1);
  std::string c(300000, '\0');
  for (char& byte : c) byte = static_cast<char>(random());
  for (const auto* version : {"3.0", "4.0"}) {
    writeFile(channel / "data/c.pak", c);
    ASSERT_EQ(publish(version).status, 0);
    for (std::size_t at = 0; at < c.size(); at += 1000) c[at] ^= 1;
  }
  EXPECT_EQ(prune({}).status, 0);
  EXPECT_EQ(std::ranges::count_if(
                storeObjects(channel),
                [](const auto& object) { return object.find("/patches/") != object.npos; }),
            2);
}

// What a publisher runs after an upload: one line per problem, naming the object, over a
// folder and over HTTP; a channel that cannot be trusted ends with its kind's status.
TEST_F(Cli, CheckNamesEveryObjectThatIsNotItsNamesBytes) {
  kaldra::testing::WebServer web(channel);
  auto objectUnder = [&](const std::string& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(channel / kStoreFolder / folder))
      if (entry.is_regular_file()) return entry.path();
    return fs::path();
  };
  auto damage = [](const fs::path& path) { writeFile(path, readFile(path) + "x"); };
  struct Row {
    const char* name;
    std::function<void()> twist;
    int status;
    std::string line;  // found on standard output, or on standard error for a failure
  };
  const std::vector<Row> rows{
      {"intact", [] {}, 0, "no problems"},
      {"a chunk damaged", [&] { damage(objectUnder("chunks")); }, 5,
       "damaged: kaldra-store/chunks/"},
      {"a list missing", [&] { fs::remove(objectUnder("lists")); }, 5,
       "missing: kaldra-store/lists/"},
      {"a whole file damaged", [&] { damage(objectUnder("files")); }, 5,
       "damaged: kaldra-store/files/"},
      {"a game file of an older tool's channel damaged",
       [&] {
         publishChannel(channel, {}, "1.1");
         damage(channel / "data/world.pak");
       },
       5, "damaged: data/world.pak"},
      {"expiring in 3 days", [&] { publishChannel(channel, {}, "1.1", 3, Layout::chunkStore); }, 0,
       "warning: manifest.json expires on "},
      {"expired", [&] { publishChannel(channel, {}, "1.1", 0, Layout::chunkStore); }, 5,
       "expired: manifest.json expired on "},
      {"signed by a key the channel does not list",
       [&] {
         writeFile(channel / "manifest.json.sig",
                   signBytes(readFile(channel / kManifestName), generatePrivateKeyPem()));
       },
       8, "signature"},
  };
  for (const auto& where : {std::string("folder"), web.url("http")}) {
    for (const auto& row : rows) {
      fs::remove_all(channel);
      publishChannel(channel, {{"data/world.pak", std::string(300000, 'w') + "end"}, {"a", "b"}},
                     "1.0", 30, Layout::chunkStore);
      row.twist();
      auto run = runTool({"check", where == "folder" ? channel.string() : where});
      EXPECT_EQ(run.status, row.status) << row.name << "\n" << run.out << run.err;
      EXPECT_NE((run.status == 0 || run.status == 5 ? run.out : run.err).find(row.line),
                std::string::npos)
          << row.name << "\n"
          << run.out << run.err;
    }
  }
}

// The publisher is stopped before players are hurt: a key they would refuse, a rotation
// nobody could follow, a sequence nothing can exceed; and one writer at a time.
TEST_F(Cli, PublisherGuardsAndOneWriterPerChannel) {
  auto key = [&](const std::string& name) {
    auto path = temp / (name + ".pem");
    if (!fs::exists(path)) writeFile(path, generatePrivateKeyPem());
    return path.string();
  };
  const std::string built = KALDRA_SIGNING_KEY;
  auto publishAs = [&](const std::string& signer, const std::string& content) {
    writeFile(channel / "kaldrith.exe", content);
    return publish(content, signer);
  };
  auto rotate = [&](const std::string& signer, const std::string& added) {
    return runTool(
        {"rotate-key", channel.string(), "--key", signer, "--new-key", added, "--retire"});
  };
  auto player = [&] {
    int status = prepare(channel).status;
    return std::pair(status, readFile(root / "kaldrith.exe"));
  };
  ASSERT_EQ(publishAs(built, "1").status, 0);
  struct Row {
    std::function<ToolRun()> run;
    std::string refusal;
  };
  const std::vector<Row> refused{
      {[&] { return publishAs(key("stranger"), "2"); }, "not one the channel's newest"},
      {[&] { return rotate(key("stranger"), key("a")); }, "not one the channel's newest"},
      {[&] { return rotate(built, built); }, "the new key is the signing key"},
      {[&] {
         EXPECT_EQ(rotate(built, key("a")).status, 0);
         return rotate(built, key("b"));
       },
       "not one the channel's newest"},
      {[&] { return publishAs(built, "2"); }, "not one the channel's newest"},
  };
  auto published = readFile(channel / kManifestName);
  for (const auto& row : refused) {
    auto run = row.run();
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find(row.refusal), std::string::npos) << run.err;
  }
  EXPECT_EQ(readFile(channel / kManifestName), published);
  // Ten years at most; a command line not understood gets its reason and usage line.
  auto years = publish("2", built, {"--expires-days", "3651"});
  EXPECT_TRUE(years.status == 2 && years.out.empty() &&
              isOneLine(years.err.substr(years.err.find("\nusage: kaldra-update publish ") + 1)))
      << years.err;

  // A manifest with a sequence nothing can exceed, signed with key a and taken by a player:
  // publish refuses to go back, and retiring a recovers every player.
  auto manifest = parseManifest(readFile(channel / kManifestName));
  manifest.freshness.sequence = std::numeric_limits<std::uint64_t>::max();
  manifest.freshness.keys = 1;
  writeFile(channel / kManifestName, manifestJson(manifest));
  writeFile(channel / "manifest.json.sig",
            signBytes(readFile(channel / kManifestName), readFile(key("a"))));
  EXPECT_EQ(player(), std::pair(0, std::string("1")));
  auto stuck = publishAs(key("a"), "3");
  EXPECT_EQ(stuck.status, 1);
  EXPECT_NE(stuck.err.find("rotate-key --retire"), std::string::npos) << stuck.err;
  EXPECT_EQ(rotate(key("a"), key("b")).status, 0);
  EXPECT_EQ(publishAs(key("b"), "3").status, 0);
  // The key statements beside the game files are the channel's, never a game file.
  EXPECT_EQ(parseManifest(readFile(channel / kManifestName)).files.size(), 1u);
  EXPECT_EQ(player(), std::pair(0, std::string("3")));
  // Nor can a key claim a statement the chain has not reached, to outrank the next one.
  const auto recovered = readFile(channel / kManifestName);
  manifest = parseManifest(recovered);
  manifest.freshness.keys = 3;
  writeFile(channel / kManifestName, manifestJson(manifest));
  writeFile(channel / "manifest.json.sig",
            signBytes(readFile(channel / kManifestName), readFile(key("b"))));
  EXPECT_EQ(player(), std::pair(8, std::string("3")));
  writeFile(channel / kManifestName, recovered);
  writeFile(channel / "manifest.json.sig", signBytes(recovered, readFile(key("b"))));

  // One writer: a held channel makes another wait, then give up as busy, changing nothing.
  {
    platform::UniqueFd held{::open(channel.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    ASSERT_EQ(::flock(held.get(), LOCK_EX | LOCK_NB), 0);
    published = readFile(channel / kManifestName);
    auto busy = publish("4", key("b"), {"--wait", "0"});
    EXPECT_EQ(busy.status, 9) << busy.err;
    EXPECT_EQ(readFile(channel / kManifestName), published);
  }
  // A prune beside a publish never takes what the new manifest names, in either order.
  for (int round = 0; round < 6; ++round) {
    writeFile(channel / "data/world.pak", std::string(100000, static_cast<char>('a' + round)));
    ToolRun published_, pruned;
    std::function<void()> publishRun = [&] {
      published_ = publishAs(key("b"), std::to_string(10 + round));
    };
    std::function<void()> pruneRun = [&] { pruned = runTool({"prune", channel.string()}); };
    std::thread first(round % 2 ? publishRun : pruneRun);
    (round % 2 ? pruneRun : publishRun)();
    first.join();
    EXPECT_EQ(std::pair(published_.status, pruned.status), std::pair(0, 0)) << pruned.err;
    auto check = runTool({"check", channel.string()});
    EXPECT_EQ(check.status, 0) << round << check.out;
  }
}

// A player is told what is wrong: a channel that is not there or not for them is not a
// connection to check, and a disk too small is known before a byte is fetched.
TEST_F(Cli, PrepareTellsAWrongChannelAndAFullDiskApart) {
  const fs::path small = temp / "small";
  kaldra::testing::WebServer web(channel);
  publishChannel(channel, {{"data/big.pak", std::string(20'000'000, 'b')}}, "1.0", 30,
                 Layout::chunkStore);
  fs::create_directories(small);
  ASSERT_EQ(::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=16m"), 0) << std::strerror(errno);
  struct Row {
    std::string channel;
    fs::path root;
    int status;
    std::string user, logged;
  };
  const auto free = fs::space(small).available / 1000000;
  const Row rows[] = {
      {web.url("http") + "/nowhere", temp / "game", 3, std::string(notOfferedMessage(Language::pl)),
       "404"},
      {web.url("http") + "/forbidden", temp / "game", 3,
       std::string(notOfferedMessage(Language::pl)), "403"},
      {web.url("http"), small / "game", 4,
       spaceMessage(20, (small / "game").string(), free, Language::pl), small.string()},
  };
  for (const auto& row : rows) {
    auto run = prepare(row.channel, "pl", row.root);
    auto last = parseEvents(run.out).back();
    EXPECT_EQ(std::tuple(run.status, last["user"].get<std::string>()),
              std::tuple(row.status, row.user));
    EXPECT_NE(run.err.find(row.logged), std::string::npos) << run.err;
  }
  EXPECT_GE(fs::space(small).available / 1000000 + 1, free) << "the full disk was written to";
  ::umount2(small.c_str(), MNT_DETACH);
}

}  // namespace
}  // namespace kaldra::update
