#include "updater/partial_file.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;

// Several whole blocks, pieces that never line up with them, a try that ends half way
// and leaves the file at an odd length, a restart and a second try that continues it.
TEST(PartialFile, KeepsEveryByteInOrderAcrossBlocksTriesAndRestarts) {
  kaldra::testing::TempDir temp;
  std::string content(23'000'017, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  auto feed = [&](PartialFile& file, std::size_t from, std::size_t to) {
    for (std::size_t at = from; at < to; at += 1'000'003)
      file.write(std::string_view(content).substr(at, std::min<std::size_t>(1'000'003, to - at)));
  };
  auto path = temp / "f.part";
  std::size_t half = 11'500'001;
  {
    PartialFile first(path);
    feed(first, 0, 6'000'000);
    first.clear();
    feed(first, 0, half);
  }
  EXPECT_TRUE(readText(path) == content.substr(0, half));
  PartialFile second(path);
  std::string readBack;
  second.readBack([&](std::string_view piece) { readBack += piece; });
  EXPECT_TRUE(readBack == content.substr(0, half));
  feed(second, half, content.size());
  EXPECT_EQ(second.size(), content.size());
  second.install(temp / "game/f");
  EXPECT_TRUE(readText(temp / "game/f") == content);
}

}  // namespace
}  // namespace kaldra::update
