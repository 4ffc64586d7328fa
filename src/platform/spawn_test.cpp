#include "platform/spawn.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace kaldra::platform {
namespace {

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
