#include "proc/run_tool.h"

#include <gtest/gtest.h>

namespace kaldra {
namespace {

std::vector<std::string> sh(const std::string& script) {
  return {"-c", script};
}

TEST(RunTool, InterleavesBothStreamsAndTrims) {
  auto [status, text] = runTool("/bin/sh", sh("echo out; echo err >&2; echo last"));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "out\nerr\nlast");
}

TEST(RunCapture, KeepsStandardOutputExactlyAndDropsStandardError) {
  auto [status, bytes] = runCapture("/bin/sh", sh("echo out; echo err >&2"));
  EXPECT_EQ(status, 0);
  EXPECT_EQ(bytes, "out\n");
}

TEST(RunTool, MissingProgramGivesMinusOneAndTheSystemsMessage) {
  auto [status, text] = runTool("/nonexistent/tool", {});
  EXPECT_EQ(status, -1);
  EXPECT_EQ(text, "No such file or directory");
  EXPECT_EQ(runCapture("/nonexistent/tool", {}), std::make_pair(-1, std::string()));
  EXPECT_EQ(runTool("/etc/hostname", {}).first, -1);  // not executable
}

TEST(RunTool, SignalEndsWithTheSignalNumber) {
  EXPECT_EQ(runTool("/bin/sh", sh("kill -KILL $$")).first, 9);
}

TEST(RunTool, InvalidUtf8BecomesReplacementCharacters) {
  auto script = sh("printf 'a\\377b\\303(c\\342\\202'");
  EXPECT_EQ(runTool("/bin/sh", script).second, "a\uFFFDb\uFFFD(c\uFFFD");
  EXPECT_EQ(runCapture("/bin/sh", script).second, "a\377b\303(c\342\202");
}

TEST(RunTool, UnicodeWhiteSpaceIsTrimmedButInnerBreaksStay) {
  EXPECT_EQ(
      runTool("/bin/sh", sh("printf '\\n  \\302\\240a\\n\\nb\\t\\342\\200\\250\\r\\n'")).second,
      "a\n\nb");
  EXPECT_EQ(runTool("/bin/sh", sh("printf ' \\n\\t '")).second, "");
}

TEST(RunTool, MegabytesOfOutputDoNotDeadlock) {
  auto [status, bytes] = runCapture("/bin/sh", sh("head -c 5000000 /dev/zero; exit 4"));
  EXPECT_EQ(status, 4);
  EXPECT_EQ(bytes.size(), 5000000u);
  EXPECT_EQ(runTool("/bin/sh", sh("head -c 3000000 /dev/zero | tr '\\0' x")).second.size(),
            3000000u);
}

TEST(RunTool, WaitsForEveryHolderOfThePipe) {
  // The tool exits at once; its background child keeps the pipe open and writes later.
  auto [status, text] = runTool("/bin/sh", sh("(sleep 0.3; echo late) & echo early; exit 2"));
  EXPECT_EQ(status, 2);
  EXPECT_EQ(text, "early\nlate");
}

TEST(DecodeUtf8Lossy, ValidTextPassesAndEachBadSequenceIsOneReplacement) {
  EXPECT_EQ(decodeUtf8Lossy("Ie\u0219ire \u2026 \U0001F600"), "Ie\u0219ire \u2026 \U0001F600");
  EXPECT_EQ(decodeUtf8Lossy("\xC0\xAF"), "\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(decodeUtf8Lossy("\xED\xA0\x80"), "\uFFFD\uFFFD\uFFFD");  // surrogate
  EXPECT_EQ(decodeUtf8Lossy("\xF0\x9F\x98"), "\uFFFD");              // truncated at the end
}

}  // namespace
}  // namespace kaldra
