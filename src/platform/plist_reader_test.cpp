#include "platform/plist_reader.h"

#include <gtest/gtest.h>

#include <fstream>

namespace kaldra::platform {
namespace {

// No top dictionary or no readable file: no entries; a NUL inside a string is kept.
TEST(PlistReader, ReadsDictionariesOnly) {
  auto path = std::filesystem::temp_directory_path() / "kaldra-plist-test";
  for (std::string content : {std::string("<plist><array><string>a</string></array></plist>"),
                              std::string("\x01\x02 not a plist"), std::string(),
                              std::string("<plist><dict><key>K</key><string>a\0b</string>"
                                          "</dict></plist>",
                                          60)}) {
    std::ofstream(path, std::ios::binary) << content;
    auto read = readPlistStrings(path);
    EXPECT_EQ(read && read->at("K").starts_with(std::string("a\0", 2)), content.size() == 60);
  }
  EXPECT_FALSE(readPlistStrings("/nonexistent/Info.plist"));
  EXPECT_FALSE(readPlistStrings(std::filesystem::temp_directory_path()));
  std::filesystem::remove(path);
}

}  // namespace
}  // namespace kaldra::platform
