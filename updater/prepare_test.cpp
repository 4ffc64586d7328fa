#include "updater/prepare.h"

#include <gtest/gtest.h>
#include <sys/mount.h>

#include <functional>
#include <sstream>

#include "tests/support/http_server.h"
#include "tests/support/temp_dir.h"
#include "updater/channel.h"
#include "updater/failure.h"
#include "updater/game_folder.h"
#include "updater/messages.h"
#include "updater/test_files.h"
#include "updater/verify.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

class Prepare : public ::testing::Test {
 protected:
  void SetUp() override { publishChannel(channel_, files_); }

  std::string channelUrl() const { return channelFromSetting(channel_.string(), "/"); }

  PrepareSummary run(const std::string& channel) {
    out_.str("");
    EventWriter events(out_);
    return prepare({.root = root_,
                    .channel = channel,
                    .language = Language::de,
                    .threads = 2,
                    .network = {.firstPause = std::chrono::milliseconds(1)}},
                   events);
  }
  PrepareSummary run() { return run(channelUrl()); }

  FailureKind failure(const std::string& channel) {
    try {
      run(channel);
    } catch (const UpdateError& error) {
      return error.kind();
    }
    ADD_FAILURE() << "prepare succeeded";
    return FailureKind::other;
  }
  FailureKind failure() { return failure(channelUrl()); }

  void expectGameFiles() {
    for (const auto& [path, content] : files_) EXPECT_EQ(readText(root_ / path), content) << path;
  }

  std::string lastLabel() { return parseEvents(out_.str()).back()["label"]; }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path root_ = temp_ / "game";
  std::map<std::string, std::string> files_{{"kaldrith.exe", "MZ placeholder"},
                                            {"data/world.pak", std::string(300000, 'w')},
                                            {"data/maps/harbour.map", "harbour"}};
  std::ostringstream out_;
};

TEST_F(Prepare, FreshInstallFetchesEveryFileAndReportsUpTo100) {
  auto summary = run();
  EXPECT_EQ(summary.filesDownloaded, 3u);
  EXPECT_EQ(summary.filesRead, 0u);
  EXPECT_EQ(summary.bytesDownloaded, 300000u + 14 + 7);
  expectGameFiles();
  EXPECT_TRUE(fs::exists(statePath(root_)));
  EXPECT_TRUE(fs::exists(savedManifestPath(root_)));
  EXPECT_FALSE(fs::exists(partialDir(root_)));

  auto events = parseEvents(out_.str());
  EXPECT_EQ(events.back()["pct"], 100);
  EXPECT_EQ(lastLabel(), message(Message::readyUpdated, Language::de));
  int pct = 0;
  bool sawAllBytes = false;
  for (const auto& event : events) {
    EXPECT_EQ(event["type"], "progress");
    EXPECT_GE(event["pct"].get<int>(), pct);
    pct = event["pct"];
    if (event["stage"] == "download") {
      EXPECT_EQ(event["total"], summary.bytesDownloaded);
      sawAllBytes = sawAllBytes || event["done"] == summary.bytesDownloaded;
    }
  }
  EXPECT_TRUE(sawAllBytes);
}

TEST_F(Prepare, NothingChangedReadsNoFileAndSaysSo) {
  run();
  auto summary = run();
  EXPECT_TRUE(summary.unchanged);
  EXPECT_EQ(summary.version, "1.0");
  EXPECT_EQ(summary.filesRead, 0u);
  EXPECT_EQ(summary.filesDownloaded, 0u);
  EXPECT_EQ(lastLabel(), message(Message::readyUnchanged, Language::de));
  expectGameFiles();
}

TEST_F(Prepare, UnchangedFolderGetsBackAMissingSavedManifest) {
  run();
  fs::remove(savedManifestPath(root_));
  run();
  EXPECT_NO_THROW(verifyFolder(root_, 2));
}

// Everything below `folder`, path and content, to see that nothing there changed.
std::map<std::string, std::string> treeOf(const fs::path& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(folder))
    tree[fs::relative(entry.path(), folder).string()] =
        entry.is_regular_file() ? readText(entry.path()) : "(folder)";
  return tree;
}

TEST_F(Prepare, LinksInTheGameFolderNeverLeadOutOfIt) {
  const fs::path elsewhere = temp_ / "elsewhere";
  const struct {
    const char* spot;
    const char* target;  // inside `elsewhere`
  } links[] = {{"data", ""},
               {"data/maps", "maps"},
               {"data/maps/harbour.map", "s.txt"},
               {"kaldrith.exe", "s.txt"},
               {".kaldra-partial", ""},
               {".kaldra-state", "s.txt"},
               {".kaldra-manifest.json", "s.txt"}};
  int n = 0;
  for (const auto& link : links) {
    SCOPED_TRACE(link.spot);
    root_ = temp_ / ("game" + std::to_string(++n));
    fs::remove_all(elsewhere);
    for (auto name : {"s.txt", "harbour.map", "maps/harbour.map", "world.pak"})
      writeFile(elsewhere / name, "not the game's");
    auto before = treeOf(elsewhere);

    run();
    fs::remove_all(root_ / link.spot);
    fs::remove(root_ / "kaldrith.exe");  // so that a download happens too
    fs::create_symlink(elsewhere / link.target, root_ / link.spot);
    run();

    EXPECT_EQ(treeOf(elsewhere), before);
    EXPECT_FALSE(fs::is_symlink(root_ / link.spot));
    expectGameFiles();
    EXPECT_NO_THROW(verifyFolder(root_, 2));
  }
}

TEST_F(Prepare, OnlyChangedOrMissingFilesAreFetchedAgainAndUnlistedOnesStay) {
  writeFile(root_ / "saves/slot1.sav", "progress");
  run();
  writeFile(root_ / "data/maps/harbour.map", "HARBOUR");  // same size, new content
  fs::remove(root_ / "kaldrith.exe");
  writeFile(root_ / "data/world.pak", std::string(300001, 'w'));
  auto summary = run();
  EXPECT_EQ(summary.filesRead, 1u);  // the rewritten one; a wrong size needs no reading
  EXPECT_EQ(summary.filesDownloaded, 3u);
  EXPECT_EQ(summary.bytesDownloaded, 300000u + 14 + 7);
  expectGameFiles();
  EXPECT_EQ(readText(root_ / "saves/slot1.sav"), "progress");
}

TEST_F(Prepare, MatchingFilesAlreadyThereAreReadOnceNotDownloaded) {
  for (const auto& [path, content] : files_) writeFile(root_ / path, content);
  auto summary = run();
  EXPECT_EQ(summary.filesRead, 3u);
  EXPECT_EQ(summary.filesDownloaded, 0u);
  EXPECT_EQ(lastLabel(), message(Message::readyChecked, Language::de));
  EXPECT_EQ(run().filesRead, 0u);
}

TEST_F(Prepare, CorruptedFileOnTheChannelIsAnIntegrityErrorAndTheOldFileStays) {
  run();
  files_["data/world.pak"] = std::string(300000, 'v');
  publishChannel(channel_, files_, "1.1");
  writeFile(channel_ / "data/world.pak", std::string(299999, 'v') + "x");  // after publishing
  EXPECT_EQ(failure(), FailureKind::integrity);
  EXPECT_EQ(readText(root_ / "data/world.pak"), std::string(300000, 'w'));
  EXPECT_EQ(partialFileCount(root_), 0u);
  EXPECT_EQ(parseEvents(out_.str()).back()["stage"], "download");

  writeFile(channel_ / "data/world.pak", std::string(300001, 'v'));  // longer than listed
  EXPECT_EQ(failure(), FailureKind::integrity);
  EXPECT_EQ(readText(root_ / "data/world.pak"), std::string(300000, 'w'));
}

TEST_F(Prepare, EachFailureHasItsKindAndInstallsNothingInItsWay) {
  const struct {
    const char* what;
    std::string channel;
    std::function<void()> spoil;
    FailureKind kind;
  } cases[] = {
      {"no such folder", "file:///nonexistent/channel", [] {}, FailureKind::network},
      {"nobody listening", "http://127.0.0.1:1/channel", [] {}, FailureKind::network},
      {"a listed file missing", "", [&] { fs::remove(channel_ / "kaldrith.exe"); },
       FailureKind::network},
      {"manifest not JSON", "",
       [&] {
         writeFile(channel_ / "manifest.json", "<html>503 Service Unavailable</html>");
         signManifest(channel_);
       },
       FailureKind::manifest},
      {"a file where a folder must be", "", [&] { writeFile(root_ / "data", "not a folder"); },
       FailureKind::disk},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root_);
    publishChannel(channel_, files_);
    c.spoil();
    EXPECT_EQ(failure(c.channel.empty() ? channelUrl() : c.channel), c.kind);
    EXPECT_FALSE(fs::exists(root_ / "kaldrith.exe"));
    if (fs::is_regular_file(root_ / "data")) {
      EXPECT_EQ(readText(root_ / "data"), "not a folder");
    }
  }
}

TEST_F(Prepare, FullDiskIsADiskErrorAndLeavesNoPartialFile) {
  fs::create_directories(root_);
  if (::mount("tmpfs", root_.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): " << std::strerror(errno);
  files_["data/big.pak"] = std::string(2 << 20, 'b');
  publishChannel(channel_, files_);
  FailureKind kind = failure();
  std::error_code ignored;
  bool partialLeft = partialFileCount(root_) > 0;
  bool bigFileThere = fs::exists(root_ / "data/big.pak", ignored);
  ::umount2(root_.c_str(), MNT_DETACH);
  EXPECT_EQ(kind, FailureKind::disk);
  EXPECT_FALSE(partialLeft);
  EXPECT_FALSE(bigFileThere);
}

TEST_F(Prepare, APartialFolderThatIsALinkNeverLeadsDownloadsOutside) {
  fs::create_directories(root_);
  fs::create_directories(temp_ / "elsewhere");
  fs::create_directory_symlink(temp_ / "elsewhere", partialDir(root_));
  kaldra::testing::HttpServer server(channel_);
  server.setFault(
      {.kind = kaldra::testing::HttpServer::Fault::Kind::cut, .target = "/data/world.pak"});
  EXPECT_EQ(failure(server.url()), FailureKind::network);
  EXPECT_EQ(partialFileCount(root_), 1u);  // half of the file, kept to be continued
  EXPECT_TRUE(fs::is_empty(temp_ / "elsewhere"));
}

}  // namespace
}  // namespace kaldra::update
