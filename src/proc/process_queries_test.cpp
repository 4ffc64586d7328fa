#include "proc/process_queries.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "tests/support/running_program.h"
#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

using testing::RunningProgram;
using testing::TempDir;
namespace fs = std::filesystem;
using Pids = std::vector<Pid>;

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

TEST(IsAlive, RunningProcessesOnly) {
  EXPECT_FALSE(isAlive(0));   // a null signal would reach the own process group
  EXPECT_FALSE(isAlive(-1));  // ... or every process
  EXPECT_TRUE(isAlive(getpid()));
  EXPECT_TRUE(isAlive(1));  // the system's first process, not ours
  EXPECT_FALSE(isAlive(vanishedPid()));
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

}  // namespace
}  // namespace kaldra
