#include "platform/plist_reader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kaldra::platform {
namespace {

std::filesystem::path writeTemp(const std::string& name, const std::string& content) {
  auto path = std::filesystem::temp_directory_path() / ("kaldra-plist-" + name);
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

TEST(PlistReader, RejectsNonDictionariesAndGarbage) {
  EXPECT_FALSE(readPlistStrings(writeTemp("array", R"(<?xml version="1.0"?>
<plist version="1.0"><array><string>a</string></array></plist>)")));
  EXPECT_FALSE(readPlistStrings(writeTemp("garbage", "\x01\x02 not a plist")));
  EXPECT_FALSE(readPlistStrings(writeTemp("empty", "")));
  EXPECT_FALSE(readPlistStrings("/nonexistent/Info.plist"));
  EXPECT_FALSE(readPlistStrings(std::filesystem::temp_directory_path()));
  // A zero byte inside a string is kept, not a reason to abort.
  auto zero = readPlistStrings(writeTemp(
      "zero", std::string("<plist><dict><key>K</key><string>a\0b</string></dict></plist>", 60)));
  ASSERT_TRUE(zero);
  EXPECT_EQ(zero->at("K").substr(0, 2), std::string("a\0", 2));
}

}  // namespace
}  // namespace kaldra::platform
