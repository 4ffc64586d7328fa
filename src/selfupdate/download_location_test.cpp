#include "selfupdate/download_location.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/support/temp_dir.h"

namespace kaldra {
namespace {

namespace fs = std::filesystem;

TEST(DownloadLocation, OnlyDiskImagesInsideTheFolderPass) {
  testing::TempDir dir;
  auto folder = dir / "xplat/download";
  fs::create_directories(folder / "sub");
  fs::create_directories(dir / "xplat/download2");
  fs::create_directories(dir / "elsewhere");
  std::ofstream(dir / "elsewhere/x.dmg") << "elsewhere";
  fs::create_symlink(dir / "elsewhere", folder / "link");
  fs::create_symlink(dir / "elsewhere/x.dmg", folder / "alias.dmg");
  for (const char* name : {"Kaldrith-1.1.dmg", "Kaldrith.dmg", "sub/K.dmg", "Kaldrith.DMG",
                           "Kaldrith.dmg.part", "../x.dmg", "../download2/x.dmg"})
    std::ofstream(folder / name) << "image";
  std::string base = folder.string();
  struct Case {
    std::string path;
    bool passes;
  } cases[] = {
      {base + "/Kaldrith-1.1.dmg", true},
      {base + "/./sub/../Kaldrith.dmg", true},
      {base + "/../x.dmg", false},
      {base + "/sub/../../x.dmg", false},
      {base + "2/x.dmg", false},
      {base + "/link/x.dmg", false},
      {base + "/alias.dmg", false},
      {base + "/Kaldrith.DMG", false},
      {base + "/missing.dmg", false},
      {base + "/Kaldrith.dmg.part", false},
      {base, false},
      {"", false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(imageInDownloadFolder(c.path, folder).has_value(), c.passes) << c.path;
  EXPECT_EQ(imageInDownloadFolder(base + "/./sub/../sub/K.dmg", folder),
            fs::canonical(folder) / "sub/K.dmg");
}

TEST(DownloadLocation, FolderReachedThroughALinkStillHoldsItsFiles) {
  testing::TempDir dir;
  fs::create_directories(dir / "real/download");
  std::ofstream(dir / "real/download/a.dmg") << "image";
  fs::create_symlink(dir / "real", dir / "data");
  EXPECT_TRUE(imageInDownloadFolder((dir / "real/download/a.dmg").string(), dir / "data/download"));
}

}  // namespace
}  // namespace kaldra
