#include "selfupdate/declined_marker.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

namespace fs = std::filesystem;

TEST(DeclinedMarker, KeepsTheLatestTwentyInTheirOrder) {
  testing::TempDir dir;
  auto file = dir / "self-install-declined.txt";
  std::vector<std::string> expected;
  for (int i = 1; i <= 25; ++i) {
    std::string key = "/home/p/Downloads/Kaldrith.app|1." + std::to_string(i);
    ASSERT_TRUE(writeDeclined(file, withDeclined(readDeclined(file), key)));
    if (i > 5) expected.push_back(key);
  }
  EXPECT_EQ(readDeclined(file), expected);
  std::stringstream stream;
  stream << std::ifstream(file).rdbuf();
  std::string text = stream.str();
  EXPECT_TRUE(text.ends_with("|1.25\n"));
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 20);
}

TEST(DeclinedMarker, ReadsMissingAsEmptyAndSkipsEmptyLines) {
  testing::TempDir dir;
  EXPECT_TRUE(readDeclined(dir / "missing").empty());
  std::ofstream(dir / "m") << "\n/a.app|1\n\n/b.app|2";
  EXPECT_EQ(readDeclined(dir / "m"), (std::vector<std::string>{"/a.app|1", "/b.app|2"}));
}

TEST(DeclinedMarker, FailedWriteLeavesTheOldMarker) {
  testing::TempDir dir;
  EXPECT_FALSE(writeDeclined(dir / "no-such-folder/m", {"/a.app|1"}));
}

}  // namespace
}  // namespace kaldra
