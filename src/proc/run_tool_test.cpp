#include "proc/run_tool.h"

#include <gtest/gtest.h>
#include <unistd.h>

namespace kaldra {
namespace {

// runTool joins, decodes and trims both streams; runCapture keeps standard output exactly.
TEST(RunTool, StatusAndTextOfBothWaysToRunATool) {
  const struct {
    const char* program;
    std::string script;
    std::pair<int, std::string> tool, capture;
  } cases[] = {
      {"/bin/sh", "echo out; echo err >&2; echo last", {0, "out\nerr\nlast"}, {0, "out\nlast\n"}},
      {"/nonexistent/tool", "", {-1, "No such file or directory"}, {-1, ""}},
      {"/bin/sh", "kill -KILL $$", {9, ""}, {9, ""}},
      {"/bin/sh",
       "printf 'a\\377b\\303(c\\342\\202'",
       {0, "a\uFFFDb\uFFFD(c\uFFFD"},
       {0, "a\377b\303(c\342\202"}},
      // Unicode white space is trimmed, but inner breaks stay.
      {"/bin/sh",
       "printf '\\n  \\302\\240a\\n\\nb\\t\\342\\200\\250\\r\\n'",
       {0, "a\n\nb"},
       {0, "\n  \302\240a\n\nb\t\342\200\250\r\n"}},
      {"/bin/sh", "printf ' \\n\\t '", {0, ""}, {0, " \n\t "}},
      // The tool exits at once; its background child keeps the pipe open and writes later.
      {"/bin/sh",
       "(sleep 0.3; echo late) & echo early; exit 2",
       {2, "early\nlate"},
       {2, "early\nlate\n"}},
      // Only the standard descriptors reach a child (3 is the listing ls opens).
      {"/bin/sh", "ls /proc/self/fd | tr '\\n' ' '", {0, "0 1 2 3"}, {0, "0 1 2 3 "}},
      // Megabytes of output: no deadlock on a full pipe.
      {"/bin/sh",
       "head -c 3000000 /dev/zero | tr '\\0' x; exit 4",
       {4, std::string(3000000, 'x')},
       {4, std::string(3000000, 'x')}},
  };
  int inheritable[2];
  ASSERT_EQ(::pipe(inheritable), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    std::vector<std::string> args = {"-c", c.script};
    EXPECT_EQ(runTool(c.program, args), c.tool);
    EXPECT_EQ(runCapture(c.program, args), c.capture);
  }
  ::close(inheritable[0]);
  ::close(inheritable[1]);
}

TEST(DecodeUtf8Lossy, ValidTextPassesAndEachBadSequenceIsOneReplacement) {
  EXPECT_EQ(decodeUtf8Lossy("Ie\u0219ire \u2026 \U0001F600"), "Ie\u0219ire \u2026 \U0001F600");
  EXPECT_EQ(decodeUtf8Lossy("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(decodeUtf8Lossy("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(decodeUtf8Lossy("\xF0\x9F\x98"), "\uFFFD");              // truncated at the end
}

}  // namespace
}  // namespace kaldra
