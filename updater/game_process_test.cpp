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

constexpr const char* kLoader = "/lib64/ld-linux-x86-64.so.2";

bool found(const fs::path& folder, int pid) {
  auto pids = processesInside(folder, selfAndAncestors());
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// The loader maps the program a moment after it has become the process.
bool appears(const fs::path& folder, int pid) {
  for (int i = 0; i < 200 && !found(folder, pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  return found(folder, pid);
}

class GameProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "bin");
    fs::create_directories(temp_ / "game-old");
    fs::copy_file("/bin/sleep", root_ / "bin/game");
  }
  kaldra::testing::TempDir temp_;
  fs::path root_ = temp_ / "game";
  std::string game_ = (root_ / "bin/game").string();
};

TEST_F(GameProcess, GameCodeCountsWhereverItRunsFrom) {
  ProcessIn direct(temp_ / "game-old", {game_, "60"});
  // Under Wine the executable is the loader outside; the game's code is mapped in.
  ProcessIn loaded(temp_.path(), {kLoader, game_, "60"});
  EXPECT_TRUE(found(root_, direct.pid()));
  EXPECT_TRUE(appears(root_, loaded.pid()));
  EXPECT_FALSE(found(temp_ / "game-old", loaded.pid()));  // a longer sibling name
}

TEST_F(GameProcess, AFolderMerelyOpenInAShellDoesNotCount) {
  ProcessIn shell(root_ / "bin");
  EXPECT_FALSE(found(root_, shell.pid()));
}

TEST_F(GameProcess, SymbolicLinksAreResolvedAndTheCallersChainIsLeftOut) {
  fs::create_directory_symlink(root_, temp_ / "link");
  ProcessIn game(root_, {game_, "60"});
  EXPECT_TRUE(found(temp_ / "link", game.pid()));
  EXPECT_TRUE(processesInside(root_, {game.pid()}).empty());
  EXPECT_TRUE(processesInside(temp_ / "missing", {}).empty());
  auto chain = selfAndAncestors();
  EXPECT_TRUE(chain.contains(::getpid()));
  EXPECT_TRUE(chain.contains(::getppid()));
}

}  // namespace
}  // namespace kaldra::update
