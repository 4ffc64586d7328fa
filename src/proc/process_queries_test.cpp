#include "proc/process_queries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>

#include "platform/rename_exchange.h"
#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::RunningProgram;
namespace fs = std::filesystem;
using Pids = std::vector<Pid>;

// A copy of the system's sleep program at `path`, so that a process runs from there.
std::string sleepCopy(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
  return path.string();
}

// A reaped id, and ids a null signal would spread from: 0 (our group), -1 (everyone).
TEST(ProcessQueries, GoneAndSpecialProcessIdsAreNotAliveAndHaveNoPath) {
  RunningProgram gone("/bin/true", {});
  Pid vanished = gone.pid();
  gone.stop();
  for (Pid pid : {0, -1, vanished}) {
    EXPECT_FALSE(isAlive(pid)) << pid;
    EXPECT_EQ(pidPath(pid), std::nullopt) << pid;
  }
  EXPECT_TRUE(isAlive(getpid()));
  EXPECT_TRUE(isAlive(1));  // the system's first process, not ours
}

TEST(ProcessQueries, PathIsResolvedAndOnlyProgramsBelowTheFolderCount) {
  testing::TempDir dir;
  std::string real = sleepCopy(dir / "X.app/Contents/MacOS/X");
  fs::create_directory_symlink(dir / "X.app", dir / "link");
  RunningProgram inside((dir / "link/Contents/MacOS/X").string(), {"30"});
  RunningProgram sibling(sleepCopy(dir / "X.app2/Contents/MacOS/X"), {"30"});
  RunningProgram itself(sleepCopy(dir / "Y.app"), {"30"});  // the path equals the folder
  EXPECT_EQ(pidPath(inside.pid()), fs::canonical(real).string());
  EXPECT_EQ(processesInside(dir / "X.app"), Pids{inside.pid()});
  EXPECT_EQ(processesInside(dir / "X.app/"), Pids{inside.pid()});
  EXPECT_EQ(processesInside(dir / "X.app", {inside.pid()}), Pids{});
  EXPECT_EQ(processesInside(dir / "Y.app"), Pids{});
  EXPECT_EQ(processesInside(dir / "missing"), Pids{});

  // The launcher starts its tools from a background thread: their parent is still us,
  // as long as that thread lives.
  std::promise<Pid> started;
  std::promise<void> looked;
  std::thread starter([&] {
    RunningProgram tool("/bin/sleep", {"30"});
    started.set_value(tool.pid());
    looked.get_future().wait();
  });
  Pid tool = started.get_future().get();
  auto children = childPids(getpid());
  looked.set_value();
  starter.join();
  EXPECT_NE(std::ranges::find(children, tool), children.end());
}

// A first install moves only to a free path, not even onto an empty folder made meanwhile.
TEST(ProcessQueries, AMoveNeverReplacesAndAnExchangeSwapsBoth) {
  testing::TempDir dir;
  fs::create_directories(dir / "a/from-a");
  fs::create_directories(dir / "b");
  EXPECT_EQ(platform::moveToFreePath((dir / "a").string(), (dir / "b").string()), EEXIST);
  EXPECT_EQ(platform::exchangeEntries((dir / "a").string(), (dir / "b").string()), 0);
  EXPECT_TRUE(fs::exists(dir / "b/from-a") && fs::is_empty(dir / "a"));
}

}  // namespace
}  // namespace kaldra
