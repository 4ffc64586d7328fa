#include "platform/spawn.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

namespace kaldra::platform {
namespace {

std::string runShell(const std::string& script, SpawnRequest request = {}) {
  request.program = "/bin/sh";
  request.args = {"-c", script};
  request.out = Output::pipe();
  Spawned child = spawnProcess(request);
  EXPECT_GT(child.pid, 0) << child.error;
  std::string bytes = readAll(child.pipe.get());
  waitForExit(child.pid);
  return bytes;
}

TEST(Spawn, ChildSeesOnlyItsStandardDescriptorsAndMayLeaveTheCallersSession) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);  // deliberately inheritable
  std::string open = runShell("ls /proc/self/fd | sort -n | tr '\\n' ' '");
  ::close(fds[0]);
  ::close(fds[1]);
  // 0, 1, 2 and the descriptor ls itself opens for the listing.
  EXPECT_EQ(open, "0 1 2 3 ");
  std::string sid = runShell("ps -o sid= -p $$ | tr -d ' \\n'", {.newSession = true});
  EXPECT_NE(sid, std::to_string(getsid(0)));
}

// A log another process empties while a tool writes to it holds no hole of NUL bytes.
TEST(Spawn, ALogEmptiedByAnotherWriterHasNoHole) {
  char path[] = "/tmp/kaldra-log-XXXXXX";
  ::close(::mkstemp(path));
  UniqueFd first = createTruncated(path);
  ASSERT_EQ(::write(first.get(), "earlier run\n", 12), 12);
  UniqueFd second = createTruncated(path);
  ASSERT_EQ(::write(first.get(), "late\n", 5), 5);
  UniqueFd read{::open(path, O_RDONLY)};
  EXPECT_EQ(readAll(read.get()), "late\n");
  ::unlink(path);
}

}  // namespace
}  // namespace kaldra::platform
