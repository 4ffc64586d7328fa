#include "updater/game_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/temp_dir.h"
#include "updater/test_process.h"

namespace kaldra::update {
namespace {

namespace fs = std::filesystem;
using testing::ProcessIn;

bool found(const std::vector<int>& pids, int pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

class GameProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "bin");
    fs::create_directories(temp_ / "game-old");
  }
  kaldra::testing::TempDir temp_;
  fs::path root_ = temp_ / "game";
};

TEST_F(GameProcess, WorkingFolderInsideOrAtTheRootCounts) {
  ProcessIn atRoot(root_);
  ProcessIn below(root_ / "bin");
  auto pids = processesInside(root_, ::getpid());
  EXPECT_TRUE(found(pids, atRoot.pid()));
  EXPECT_TRUE(found(pids, below.pid()));
}

TEST_F(GameProcess, SiblingFolderWithALongerNameDoesNotCount) {
  ProcessIn sibling(temp_ / "game-old");
  EXPECT_FALSE(found(processesInside(root_, ::getpid()), sibling.pid()));
  EXPECT_TRUE(found(processesInside(temp_ / "game-old", ::getpid()), sibling.pid()));
}

TEST_F(GameProcess, ExecutableInsideCountsWhereverItRuns) {
  fs::copy_file("/bin/sleep", root_ / "bin/game");
  ProcessIn outside(temp_ / "game-old", (root_ / "bin/game").string());
  EXPECT_TRUE(found(processesInside(root_, ::getpid()), outside.pid()));
}

TEST_F(GameProcess, SymbolicLinksAreResolvedAndTheCallerIsLeftOut) {
  fs::create_directory_symlink(root_, temp_ / "link");
  ProcessIn game(root_);
  EXPECT_TRUE(found(processesInside(temp_ / "link", ::getpid()), game.pid()));
  EXPECT_FALSE(found(processesInside(root_, game.pid()), game.pid()));
  EXPECT_TRUE(processesInside(temp_ / "missing", ::getpid()).empty());
}

}  // namespace
}  // namespace kaldra::update
