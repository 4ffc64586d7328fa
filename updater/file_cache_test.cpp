#include "updater/file_cache.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

const std::string kDigest(64, 'c');

TEST(FileCache, SavedEntriesAndMatchedManifestReadBackAndAnyChangeForgetsTheMatch) {
  kaldra::testing::TempDir temp;
  FileCache cache;
  cache.record("data/a b.pak", {12, -5, 1'700'000'000'123'456'789}, kDigest);
  cache.record("b", {1, 1, 1}, kDigest);
  cache.setMatched({std::string(64, 'm'), "2.0 beta"});
  cache.save(temp / "state");

  auto loaded = FileCache::load(temp / "state");
  EXPECT_EQ(loaded.digestIfUnchanged("data/a b.pak", {12, -5, 1'700'000'000'123'456'789}), kDigest);
  EXPECT_FALSE(loaded.digestIfUnchanged("data/a b.pak", {12, -5, 1'700'000'000'123'456'788}));
  EXPECT_EQ(loaded.matched().version, "2.0 beta");
  EXPECT_FALSE(loaded.changed());

  loaded.retainOnly({"data/a b.pak", "b"});
  EXPECT_EQ(loaded.matched().sha256, std::string(64, 'm'));
  loaded.retainOnly({"data/a b.pak"});
  EXPECT_EQ(loaded.matched().sha256, "");
  EXPECT_FALSE(loaded.digestIfUnchanged("b", {1, 1, 1}));
  loaded.setMatched({kDigest, "1"});
  loaded.record("data/a b.pak", {2, 2, 2}, kDigest);
  EXPECT_EQ(loaded.matched().sha256, "");
}

TEST(FileCache, DamagedStateIsForgottenWhole) {
  kaldra::testing::TempDir temp;
  const std::string good = "kaldra-state 1\nmatched - 1\n" + kDigest + " 3 4 5 a\n";
  testing::writeFile(temp / "state", good);
  EXPECT_TRUE(FileCache::load(temp / "state").digestIfUnchanged("a", {3, 4, 5}));
  for (const std::string& bad :
       {std::string("kaldra-state 2\nmatched - 1\n"), good.substr(0, good.size() - 1),
        good + kDigest + " x 4 5 b\n", good + kDigest + " 3 4 5\n", good + "\n",
        std::string("kaldra-state 1\n") + kDigest + " 3 4 5 a\n"}) {
    testing::writeFile(temp / "state", bad);
    EXPECT_FALSE(FileCache::load(temp / "state").digestIfUnchanged("a", {3, 4, 5})) << bad;
  }
}

}  // namespace
}  // namespace kaldra::update
