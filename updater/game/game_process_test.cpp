#include "updater/game/game_process.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra::update {
namespace {

namespace fs = std::filesystem;
using kaldra::testing::RunningProgram;

bool found(const fs::path& folder, int pid) {
  return std::ranges::count(processesInside(folder, selfAndAncestors()), pid) > 0;
}

TEST(GameProcess, OnlyGameCodeCountsWhereverItRunsFromAndTheCallersAreLeftOut) {
  kaldra::testing::TempDir temp;
  fs::path root = temp / "game";
  std::string game = (root / "bin/game").string();
  fs::create_directories(root / "bin");
  fs::create_directories(temp / "game-old");
  fs::copy_file("/bin/sleep", game);
  fs::create_directory_symlink(root, temp / "link");

  RunningProgram direct(game, {"60"}, temp / "game-old");
  // Under Wine the executable is the loader outside; the game's code is mapped in.
  RunningProgram loaded("/lib64/ld-linux-x86-64.so.2", {game, "60"}, temp.path());
  RunningProgram shell("/bin/sleep", {"60"}, root / "bin");  // a folder merely open in a shell
  EXPECT_TRUE(found(root, direct.pid()));
  EXPECT_TRUE(found(temp / "link", direct.pid()));
  // The loader maps the program a moment after it has become the process.
  EXPECT_TRUE(kaldra::testing::eventually([&] { return found(root, loaded.pid()); }));
  EXPECT_FALSE(found(temp / "game-old", loaded.pid()));  // a longer sibling name
  EXPECT_FALSE(found(root, shell.pid()));
  EXPECT_TRUE(processesInside(root, {direct.pid(), loaded.pid()}).empty());
  EXPECT_TRUE(processesInside(temp / "missing", {}).empty());
  // The tool started from a program inside the folder must not count its own callers.
  auto chain = selfAndAncestors();
  EXPECT_TRUE(chain.contains(::getpid()) && chain.contains(::getppid()));
}

}  // namespace
}  // namespace kaldra::update
