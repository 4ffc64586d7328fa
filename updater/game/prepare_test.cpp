#include "updater/game/prepare.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/channel/channel.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/chunker.h"
#include "updater/channel/patches.h"
#include "updater/game/chunked_files.h"
#include "updater/game/download.h"
#include "updater/game/game_folder.h"
#include "updater/game/verify.h"
#include "updater/texts/messages.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// Files hashed, files downloaded, bytes downloaded, and what the last event said.
using Outcome = std::tuple<std::size_t, std::size_t, std::uint64_t, std::string>;

class Prepare : public ::testing::Test {
 protected:
  void SetUp() override { publishChannel(channel_, files_); }

  Outcome run() {
    out_.str("");
    EventWriter events(out_);
    summary_ = prepare({.root = root_,
                        .channel = channelFromSetting(channel_.string(), "/"),
                        .language = Language::de,
                        .threads = 2,
                        .network = {.firstPause = std::chrono::milliseconds(1)},
                        .note = [this](const std::string& line) { notes_ += line + "\n"; }},
                       events);
    return {summary_.filesRead, summary_.filesDownloaded, summary_.bytesDownloaded,
            parseEvents(out_.str()).back()["label"].get<std::string>()};
  }
  // The kind of failure a run ends with; none when it succeeds.
  std::optional<FailureKind> failure() {
    try {
      run();
    } catch (const UpdateError& error) {
      return error.kind();
    }
    return std::nullopt;
  }
  static std::string said(Message m) { return std::string(message(m, Language::de)); }

  void expectGameFiles() {
    for (const auto& [path, content] : files_) EXPECT_EQ(readFile(root_ / path), content) << path;
  }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path root_ = temp_ / "game";
  std::map<std::string, std::string> files_{{"kaldrith.exe", "MZ placeholder"},
                                            {"data/world.pak", std::string(300000, 'w')},
                                            {"data/maps/harbour.map", "harbour"}};
  std::ostringstream out_;
  PrepareSummary summary_;
  std::string notes_;
};

// What a new version no longer lists goes, with emptied folders; the player's own stays.
TEST_F(Prepare, DroppedFilesGoAndThePlayersStay) {
  files_["data/maps/cove.map"] = "cove";
  files_["data/old/a.pak"] = "a";
  publishChannel(channel_, files_, "1.1");
  run();
  writeFile(root_ / "saves/slot1.sav", "the player's");
  writeFile(root_ / "data/maps/notes.txt", "the player's too");
  writeFile(root_ / "data/maps/cove.map", "changed by the player");
  // A run cut short between two removals left this one removed already.
  fs::remove(root_ / "data/maps/harbour.map");
  for (const auto* path : {"data/maps/harbour.map", "data/maps/cove.map", "data/old/a.pak"}) {
    files_.erase(path);
    fs::remove(channel_ / path);
  }
  files_["kaldrith.exe"] = "MZ 1.2";
  publishChannel(channel_, files_, "1.2");
  run();
  expectGameFiles();
  for (const auto* gone : {"data/old/a.pak", "data/old", "data/maps/harbour.map"})
    EXPECT_FALSE(fs::exists(root_ / gone)) << gone;
  for (const auto* kept : {"data/maps/cove.map", "data/maps/notes.txt", "saves/slot1.sav"})
    EXPECT_TRUE(fs::exists(root_ / kept)) << kept;
  EXPECT_NE(notes_.find("kept data/maps/cove.map"), std::string::npos) << notes_;
  EXPECT_NE(notes_.find("removed data/old/a.pak"), std::string::npos) << notes_;
}

TEST_F(Prepare, OnlyFilesThatDoNotMatchAreFetchedAndAnUnchangedRunRestoresTheSavedManifest) {
  writeFile(root_ / "kaldrith.exe", files_["kaldrith.exe"]);
  writeFile(root_ / "saves/slot1.sav", "progress");
  EXPECT_EQ(run(), Outcome(1, 2, 300000 + 7, said(Message::readyUpdated)));

  writeFile(root_ / "data/maps/harbour.map", "HARBOUR");  // same size, new content
  fs::remove(root_ / "kaldrith.exe");
  writeFile(root_ / "data/world.pak", std::string(300001, 'w'));
  // Only the rewritten one is hashed: a wrong size needs no reading.
  EXPECT_EQ(run(), Outcome(1, 3, 300000 + 14 + 7, said(Message::readyUpdated)));
  expectGameFiles();
  EXPECT_EQ(readFile(root_ / "saves/slot1.sav"), "progress");
  writeFile(root_ / "kaldrith.exe", files_["kaldrith.exe"]);  // the same bytes written again
  EXPECT_EQ(run(), Outcome(1, 0, 0, said(Message::readyChecked)));
  EXPECT_EQ(run(), Outcome(0, 0, 0, said(Message::readyUnchanged)));
  EXPECT_TRUE(summary_.unchanged && summary_.version == "1.0");
  fs::remove(savedManifestPath(root_));
  run();
  EXPECT_NO_THROW(verifyFolder(root_, 2));

  // A game of many files: its list is far larger than 64 KiB.
  for (int i = 0; i < 800; ++i) files_["data/many/" + std::to_string(i) + ".dat"] = "x";
  publishChannel(channel_, files_);
  ASSERT_GT(fs::file_size(channel_ / kManifestName), 65536u);
  EXPECT_EQ(std::get<1>(run()), 800u);
}

// Even a manifest the folder already matches is refused once its time has passed.
TEST_F(Prepare, TheSameManifestIsRefusedOnceItHasExpired) {
  Manifest manifest = parseManifest(readFile(channel_ / kManifestName));
  manifest.freshness.expires = unixNow() + 2;
  writeFile(channel_ / kManifestName, manifestJson(manifest));
  signManifest(channel_);
  run();
  std::this_thread::sleep_for(std::chrono::milliseconds(3100));
  EXPECT_EQ(failure(), FailureKind::stale);
}

// A clock set before the tool was built is plainly wrong: expiry then locks no one out.
TEST(Freshness, OnlyAPlausibleClockMakesAManifestExpire) {
  kaldra::testing::TempDir temp;
  const Freshness expired{.sequence = 1, .expires = 1000};
  EXPECT_NO_THROW(requireFresh(expired, temp / "ledger", "channel", "manifest", 2000));
  EXPECT_THROW(requireFresh(expired, temp / "ledger", "channel", "manifest", unixNow()),
               UpdateError);
}

// Each new whole percent of a label is sent at once; a repeat only after a quiet spell.
TEST(Events, EachNewPercentIsSentAndRepeatsWaitForAQuietSpell) {
  std::ostringstream out;
  std::chrono::steady_clock::time_point now{};
  EventWriter events(out, EventWriter::Style::json, [&] { return now; });
  for (double pct : {1.2, 1.9, 2.0, 2.5}) events.progress(Stage::download, pct, "L");
  now += std::chrono::milliseconds(100);
  events.progress(Stage::download, 2.5, "L");
  std::vector<int> sent;
  for (const auto& event : parseEvents(out.str())) sent.push_back(event["pct"]);
  EXPECT_EQ(sent, (std::vector<int>{1, 2, 2}));
}

// Everything below `folder`, path and content, to see that nothing there changed.
std::map<std::string, std::string> treeOf(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    tree[fs::relative(entry.path(), folder).string()] =
        entry.is_regular_file() ? readFile(entry.path()) : "(folder)";
  return tree;
}

TEST_F(Prepare, LinksInTheGameFolderNeverLeadOutOfIt) {
  const fs::path elsewhere = temp_ / "elsewhere";
  // Each link leads to the entry of its name in `elsewhere`.
  const std::string partialFile = partialName({.path = "kaldrith.exe",
                                               .size = files_["kaldrith.exe"].size(),
                                               .sha256 = sha256Hex(files_["kaldrith.exe"])}),
                    partial = ".kaldra-partial/" + partialFile;
  for (const fs::path spot :
       {"data", "data/maps", "data/maps/harbour.map", "kaldrith.exe", ".kaldra-partial",
        ".kaldra-state", ".kaldra-manifest.json", partial.c_str()}) {
    SCOPED_TRACE(spot);
    root_ = temp_ / ("game-" + spot.filename().string());
    fs::remove_all(elsewhere);
    for (auto name : {"data/world.pak", "data/maps/harbour.map", "maps/harbour.map", "harbour.map",
                      "kaldrith.exe", ".kaldra-partial/x", ".kaldra-state", ".kaldra-manifest.json",
                      partialFile.c_str()})
      writeFile(elsewhere / name, "not the game's");
    auto before = treeOf(elsewhere);

    run();
    fs::remove_all(root_ / spot);
    fs::remove(root_ / "kaldrith.exe");  // so that a download happens too
    fs::create_directories((root_ / spot).parent_path());
    fs::create_symlink(elsewhere / spot.filename(), root_ / spot);
    run();

    EXPECT_EQ(treeOf(elsewhere), before);
    EXPECT_FALSE(fs::is_symlink(root_ / spot));
    expectGameFiles();
    EXPECT_NO_THROW(verifyFolder(root_, 2));
  }
  // A folder moved out and linked back keeps its files' stamps: still no way out.
  root_ = temp_ / "game-moved";
  run();
  fs::rename(root_ / "data/maps", temp_ / "moved");
  fs::create_directory_symlink(temp_ / "moved", root_ / "data/maps");
  run();
  EXPECT_FALSE(fs::is_symlink(root_ / "data/maps"));
  expectGameFiles();
}

// A game published in chunks: a file of which nothing is here comes whole, unless zstd makes
// its chunks smaller; a change costs about the chunks it touches; a chunk that is not its
// name's, a missing chunk and a list not the one named stop the update with their
// kinds and leave the game's files whole; chunks that arrived before a failure stay.
TEST_F(Prepare, ChunkedFilesFetchOnlyWhatChangedAndRefuseWhatIsNotTheirs) {
  std::mt19937_64 random(7);
  // Beyond the chunker's first 4 MiB read, where offsets must still be right.
  std::string world(6'000'000, '\0');
  for (char& c : world) c = static_cast<char>(random());
  // The chunks and lists (not the whole files) that publishing added to the store; what
  // publishing said of it is right to the byte.
  PublishReport report;
  auto publishWorld = [&](const std::string& version, bool patches = false) {
    files_["data/world.pak"] = world;
    auto before = storeObjects(channel_);
    for (const auto& [path, content] : files_) writeFile(channel_ / path, content);
    report = publishFolder({.folder = channel_,
                            .version = version,
                            .privateKeyPem = buildSigningKey(),
                            .threads = 2,
                            .patches = patches});
    std::set<fs::path> added;
    std::uint64_t grown = 0;
    for (const auto& object : storeObjects(channel_)) {
      if (before.contains(object) || object.find("/patches/") != std::string::npos) continue;
      grown += fs::file_size(channel_ / object);
      if (!object.starts_with(std::string(kStoreFolder) + "/files/"))
        added.insert(channel_ / object);
    }
    EXPECT_EQ(report.storeGrowth, grown);
    return added;
  };
  files_["data/plain.txt"] = std::string(300'000, 'p');
  files_["data/empty.pak"] = "";
  for (int i = 0; files_["data/text.txt"].size() < 200'000; ++i)  // several chunks
    files_["data/text.txt"] += std::to_string(i * 7919) + "\n";
  publishWorld("1.0");
  run();
  // Each file whole without its list, but the one that compresses: its list and chunks.
  std::uint64_t gameBytes = 0;
  for (const auto& file : parseManifest(readFile(channel_ / kManifestName)).files)
    gameBytes += *file.stored < file.size
                     ? *file.stored + fs::file_size(channel_ / chunkListPath(file.chunks))
                     : file.size;
  EXPECT_EQ(summary_.bytesDownloaded, gameBytes);
  EXPECT_LT(summary_.bytesDownloaded, world.size() + 100'000);

  // 64 KiB at the start and a hundred bytes in the middle, a file that now compresses less,
  // and a small one (one chunk, whose list the manifest implies): the new chunks and the
  // other new lists, each once, and nothing else.
  files_["data/plain.txt"] = std::string(300'000, 'p') + std::string(70'000, 'q');
  files_["data/maps/harbour.map"] = std::string(5000, 'h');
  world.insert(0, std::string(65536, 'i'));
  world.replace(1'000'000, 100, std::string(100, 'c'));
  std::uint64_t addedBytes = 0;
  for (const auto& object : publishWorld("2.0")) addedBytes += fs::file_size(object);
  const auto& harbour =
      *std::ranges::find(report.manifest.files, "data/maps/harbour.map", &ManifestFile::path);
  addedBytes -= fs::file_size(channel_ / chunkListPath(harbour.chunks));
  run();
  expectGameFiles();
  EXPECT_EQ(summary_.bytesDownloaded, addedBytes);
  EXPECT_EQ(report.fetchFromPrevious, addedBytes);
  EXPECT_EQ(notes_, "") << "no store object was asked for that is not there";
  EXPECT_LT(addedBytes, 65536 + 4 * kMaxChunk);
  // Something other than a file in its place is no source of chunks, and never waited on.
  fs::remove(root_ / "data/world.pak");
  ASSERT_EQ(::mkfifo((root_ / "data/world.pak").c_str(), 0600), 0);
  run();
  expectGameFiles();

  // A list longer than any list of its file's size is refused before it is read to its end.
  enum Spoil { otherBytes, missing, otherList, endlessList };
  for (Spoil spoil : {otherBytes, missing, otherList, endlessList}) {
    SCOPED_TRACE(spoil);
    auto before = files_;
    world.replace(100'000 * (spoil + 2), 10, "0123456789");
    world.replace(1'500'000, 10, std::to_string(spoil) + "123456789");
    auto added = publishWorld("3." + std::to_string(spoil));
    std::vector<fs::path> chunks, lists;
    for (const auto& object : added)
      (object.string().find("/lists/") != std::string::npos ? lists : chunks).push_back(object);
    ASSERT_EQ(std::make_pair(chunks.size(), lists.size()),
              std::make_pair(std::size_t{2}, std::size_t{1}));
    fs::path spoilt = spoil >= otherList ? lists[0] : chunks[0];
    std::string kept = readFile(spoilt);
    if (spoil == missing)
      fs::remove(spoilt);
    else if (spoil == endlessList)
      writeFile(spoilt, kept + std::string(20'000, '\n'));
    else
      writeFile(spoilt, kept.substr(1) + "x");
    EXPECT_EQ(failure(), spoil == missing       ? FailureKind::network
                         : spoil == endlessList ? FailureKind::manifest
                                                : FailureKind::integrity);
    EXPECT_EQ(readFile(root_ / "data/world.pak"), before["data/world.pak"]);
    // Only a build cut by the network keeps its beginning.
    EXPECT_EQ(partialFileCount(root_), spoil == missing ? 1u : 0u);

    // Put right, the next run fetches nothing that is not new; of a build begun before, only
    // what is still right is kept.
    writeFile(spoilt, kept);
    for (const auto& entry : fs::directory_iterator(partialDir(root_))) {
      std::fstream(entry.path(), std::ios::in | std::ios::out).seekp(10) << 'x';
    }
    run();
    expectGameFiles();
    std::uint64_t newBytes = 0;
    for (const auto& object : added) newBytes += fs::file_size(object);
    EXPECT_LE(summary_.bytesDownloaded, newBytes);
  }

  // A change every 50 kB makes every chunk new, but the patch from the installed copy is
  // small, and what publishing says a player fetches. A file whose new half is new bytes gets
  // no patch: it would save little and hold those bytes in the store twice. An index that
  // names another version's patch (under its own name) misleads no one: what it makes is not
  // the listed file.
  std::string& half = files_["data/half.pak"] = std::string(2'100'000, '\0');
  for (char& c : half) c = static_cast<char>(random());
  publishWorld("3.7");
  run();
  std::vector<PatchRef> earlier;
  for (bool misled : {false, true}) {
    for (std::size_t at = 1000; at < world.size(); at += 50'000) world[at] ^= 1;
    // A second patch in the same bundle; the misled index names one, in its own bundle.
    for (std::size_t at = 500; !misled && at < files_["data/text.txt"].size(); at += 20'000)
      files_["data/text.txt"][at] ^= 1;
    for (std::size_t at = 100'000; !misled && at < half.size(); ++at)
      half[at] = static_cast<char>(random());
    publishWorld(misled ? "3.9" : "3.8", true);
    auto index = channel_ / patchIndexPath(sha256Hex(readFile(channel_ / kManifestName)));
    auto patches = parsePatchIndex(readFile(index));
    ASSERT_EQ(patches.size(), misled ? 1u : 2u);
    if (misled) {
      const auto& was = earlier.back();
      patches[0] = {patches[0].from, patches[0].to, was.patch, was.size, was.bundle, was.offset};
      writeFile(index, patchIndexText(patches));
    }
    earlier = patches;
    run();
    expectGameFiles();
    EXPECT_TRUE(misled || summary_.bytesDownloaded == report.fetchFromPrevious);
    EXPECT_EQ(summary_.bytesDownloaded < (misled ? 100'000 : half.size()), !misled)
        << summary_.bytesDownloaded;
  }
  // A list in the store that makes more than its file (damaged) makes no patch, and no harm.
  auto stored = *std::ranges::find(report.manifest.files, "data/world.pak", &ManifestFile::path);
  auto list = readFile(channel_ / chunkListPath(stored.chunks));
  writeFile(channel_ / chunkListPath(stored.chunks), list + list.substr(list.find('\n') + 1));
  world[10] ^= 1;
  publishWorld("3.95", true);
  EXPECT_EQ(report.patches.patches.size(), 0u);

  // A chunk found here that changed after it was found is fetched, not used.
  world.replace(10, 10, "0123456789");
  publishWorld("4.0");
  auto manifest = parseManifest(readFile(channel_ / kManifestName));
  const auto& file = *std::ranges::find(manifest.files, "data/world.pak", &ManifestFile::path);
  const NetworkSettings settings;
  TransferPool transfers(settings);
  ChunkedFiles chunked(root_, channelFromSetting(channel_.string(), "/"), settings, transfers);
  chunked.plan({&file});
  std::fstream(root_ / "data/world.pak", std::ios::in | std::ios::out).seekp(5'000'000) << 'x';
  fs::create_directories(partialDir(root_));
  chunked.build(file, 1, [](std::uint64_t) {});
  expectGameFiles();

  // A file under a new path is built from the one the installed version had under the old;
  // moved to a path that differs only in a number, and changed all through, with a patch.
  run();
  std::string from = "data/world.pak";
  for (const auto* to : {"data/v1/world.pak", "data/v2/world.pak"}) {
    files_[to] = files_.extract(from).mapped();
    if (from != "data/world.pak")
      for (std::size_t at = 1000; at < world.size(); at += 50'000) files_[to][at] ^= 1;
    fs::remove(channel_ / from);
    writeFile(channel_ / to, files_[to]);
    publishFolder({.folder = channel_,
                   .version = std::string("5.") + to[6],
                   .privateKeyPem = buildSigningKey()});
    run();
    expectGameFiles();
    EXPECT_LT(summary_.bytesDownloaded, 100'000u) << to;  // its list, or its list and patch
    from = to;
  }
}

}  // namespace
}  // namespace kaldra::update
