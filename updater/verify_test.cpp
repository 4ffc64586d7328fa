#include "updater/verify.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/temp_dir.h"
#include "updater/channel.h"
#include "updater/failure.h"
#include "updater/game_folder.h"
#include "updater/prepare.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

class Verify : public ::testing::Test {
 protected:
  void SetUp() override {
    publishChannel(channel_, {{"kaldrith.exe", "MZ"}, {"data/world.pak", "world data"}});
    std::ostringstream out;
    EventWriter events(out);
    prepare({.root = root_, .channel = channelFromSetting(channel_.string(), "/"), .threads = 2},
            events);
  }

  std::string failure() {
    try {
      verifyFolder(root_, 2);
    } catch (const UpdateError& error) {
      EXPECT_EQ(error.kind(), FailureKind::integrity) << error.what();
      return error.what();
    }
    ADD_FAILURE() << "verify passed";
    return {};
  }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path root_ = temp_ / "game";
};

TEST_F(Verify, MatchingFolderPasses) {
  auto summary = verifyFolder(root_, 2);
  EXPECT_EQ(summary.files, 2u);
  EXPECT_EQ(summary.bytes, 12u);
}

TEST_F(Verify, ChangedContentWithTheOldModificationTimeFails) {
  auto cached = fs::last_write_time(root_ / "data/world.pak");
  writeFile(root_ / "data/world.pak", "WORLD DATA");
  fs::last_write_time(root_ / "data/world.pak", cached);
  EXPECT_NE(failure().find("content differs: " + (root_ / "data/world.pak").string()),
            std::string::npos);
}

TEST_F(Verify, MissingOrResizedFilesFailAndAreCounted) {
  fs::remove(root_ / "kaldrith.exe");
  writeFile(root_ / "data/world.pak", "short");
  auto reason = failure();
  EXPECT_NE(reason.find("2 of 2"), std::string::npos) << reason;
  EXPECT_NE(reason.find("size differs"), std::string::npos) << reason;  // sorted by path
}

TEST_F(Verify, WithoutASavedManifestThereIsNothingToTrust) {
  fs::remove(savedManifestPath(root_));
  try {
    verifyFolder(root_, 2);
    ADD_FAILURE() << "verify passed";
  } catch (const UpdateError& error) {
    EXPECT_EQ(error.kind(), FailureKind::manifest);
  }
  writeFile(savedManifestPath(root_), "{}");
  EXPECT_THROW(verifyFolder(root_, 1), UpdateError);
}

}  // namespace
}  // namespace kaldra::update
