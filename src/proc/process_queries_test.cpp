#include "proc/process_queries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <thread>

#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::eventually;
using testing::RunningProgram;
using testing::TempDir;
namespace fs = std::filesystem;
using Pids = std::vector<Pid>;

bool contains(const Pids& pids, Pid pid) {
  return std::find(pids.begin(), pids.end(), pid) != pids.end();
}

// A copy of the system's sleep program at `path`, so that a process runs from there.
std::string sleepCopy(const fs::path& path) {
  fs::create_directories(path.parent_path());
  fs::copy_file("/bin/sleep", path, fs::copy_options::overwrite_existing);
  return path.string();
}

// A process id that existed a moment ago and is now reaped.
Pid vanishedPid() {
  RunningProgram gone("/bin/true", {});
  Pid pid = gone.pid();
  gone.stop();
  return pid;
}

TEST(IsAlive, IdsBelowOneAreNeverProcesses) {
  EXPECT_FALSE(isAlive(0));   // a null signal would reach the own process group
  EXPECT_FALSE(isAlive(-1));  // ... or every process
  EXPECT_FALSE(isAlive(-5));
}

TEST(IsAlive, RunningProcessesAreAliveAndReapedOnesAreNot) {
  EXPECT_TRUE(isAlive(getpid()));
  EXPECT_TRUE(isAlive(1));  // the system's first process, not ours
  EXPECT_FALSE(isAlive(vanishedPid()));
}

TEST(AllPids, ListsRunningProcessesWithinTheLimit) {
  RunningProgram sleeper("/bin/sleep", {"30"});
  Pids pids = allPids();
  EXPECT_TRUE(contains(pids, getpid()));
  EXPECT_TRUE(contains(pids, sleeper.pid()));
  EXPECT_LE(pids.size(), 16384u);
}

TEST(PidPath, IsTheResolvedExecutableOrNothingForAGoneProcess) {
  TempDir dir;
  std::string real = sleepCopy(dir / "real/bin/sleeper");
  fs::create_directory_symlink(dir / "real", dir / "link");
  RunningProgram sleeper((dir / "link/bin/sleeper").string(), {"30"});
  EXPECT_EQ(pidPath(sleeper.pid()), fs::canonical(real).string());
  EXPECT_EQ(pidPath(vanishedPid()), std::nullopt);
  EXPECT_EQ(pidPath(0), std::nullopt);
}

TEST(ChildPids, ListsDirectChildrenButNotGrandchildren) {
  // Two children, and a subshell whose own child is the shell's grandchild.
  RunningProgram shell("/bin/sh", {"-c", "sleep 30 & sleep 30 & (sleep 30; true) & wait"});
  Pids children, grandchildren;
  ASSERT_TRUE(eventually([&] {
    children = childPids(shell.pid());
    grandchildren.clear();
    for (Pid child : children)
      for (Pid grandchild : childPids(child)) grandchildren.push_back(grandchild);
    return children.size() == 3 && grandchildren.size() == 1;
  }));
  EXPECT_FALSE(contains(children, grandchildren.front()));
  EXPECT_TRUE(childPids(grandchildren.front()).empty());
}

TEST(ChildPids, EmptyWithoutChildrenAndForIdsThatDoNotExist) {
  RunningProgram sleeper("/bin/sleep", {"30"});
  EXPECT_TRUE(childPids(sleeper.pid()).empty());
  EXPECT_TRUE(childPids(vanishedPid()).empty());
  EXPECT_TRUE(childPids(0).empty());
  EXPECT_TRUE(childPids(-1).empty());
}

TEST(ProcessesInside, OnlyProgramsBelowTheFolderCount) {
  TempDir dir;
  RunningProgram inside(sleepCopy(dir / "X.app/Contents/MacOS/X"), {"30"});
  RunningProgram sibling(sleepCopy(dir / "X.app2/Contents/MacOS/X"), {"30"});
  RunningProgram itself(sleepCopy(dir / "Y.app"), {"30"});  // the path equals the folder
  EXPECT_EQ(processesInside(dir / "X.app"), Pids{inside.pid()});
  EXPECT_EQ(processesInside(dir / "X.app/"), Pids{inside.pid()});
  EXPECT_EQ(processesInside(dir / "X.app", {inside.pid()}), Pids{});
  EXPECT_EQ(processesInside(dir / "Y.app"), Pids{});
  EXPECT_EQ(processesInside(dir / "missing"), Pids{});
}

TEST(ProcessesInside, FolderGivenThroughALinkMatchesItsTarget) {
  TempDir dir;
  RunningProgram inside(sleepCopy(dir / "Games/X.app/Contents/MacOS/X"), {"30"});
  fs::create_directory_symlink(dir / "Games", dir / "Shortcut");
  EXPECT_EQ(processesInside(dir / "Shortcut/X.app"), Pids{inside.pid()});
}

TEST(ProcessesInside, OwnProcessIsInsideItsFolderUnlessExcepted) {
  fs::path ownFolder = fs::read_symlink("/proc/self/exe").parent_path();
  EXPECT_TRUE(contains(processesInside(ownFolder), getpid()));
  EXPECT_FALSE(contains(processesInside(ownFolder, {getpid()}), getpid()));
}

TEST(DeviceOf, SameVolumeSameNumberAndNothingForAMissingPath) {
  TempDir dir;
  fs::create_directories(dir / "a/b");
  EXPECT_TRUE(deviceOf(dir.path().string()).has_value());
  EXPECT_EQ(deviceOf((dir / "a/b").string()), deviceOf(dir.path().string()));
  EXPECT_NE(deviceOf("/proc/self"), deviceOf(dir.path().string()));
  EXPECT_EQ(deviceOf((dir / "missing").string()), std::nullopt);
}

}  // namespace
}  // namespace kaldra
