#include "updater/file_cache.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using testing::writeFile;

class FileCacheTest : public ::testing::Test {
 protected:
  kaldra::testing::TempDir temp_;
  std::filesystem::path state_ = temp_ / "state";
  const std::string digest_ = std::string(64, 'c');
};

TEST_F(FileCacheTest, SavedEntriesAndMatchedManifestReadBack) {
  FileCache cache;
  cache.record("data/a b.pak", {12, -5, 1'700'000'000'123'456'789}, digest_);
  cache.setMatched({std::string(64, 'm'), "2.0 beta"});
  cache.save(state_);

  auto loaded = FileCache::load(state_);
  EXPECT_EQ(loaded.digestIfUnchanged("data/a b.pak", {12, -5, 1'700'000'000'123'456'789}), digest_);
  EXPECT_FALSE(loaded.digestIfUnchanged("data/a b.pak", {12, -5, 1'700'000'000'123'456'788}));
  EXPECT_EQ(loaded.matched().sha256, std::string(64, 'm'));
  EXPECT_EQ(loaded.matched().version, "2.0 beta");
  EXPECT_FALSE(loaded.changed());
}

TEST_F(FileCacheTest, AnyChangeForgetsTheMatchedManifest) {
  FileCache cache;
  cache.record("a", {1, 1, 1}, digest_);
  cache.record("b", {1, 1, 1}, digest_);
  cache.setMatched({digest_, "1"});
  cache.retainOnly({"a", "b"});
  EXPECT_EQ(cache.matched().sha256, digest_);
  cache.retainOnly({"a"});
  EXPECT_EQ(cache.matched().sha256, "");
  EXPECT_FALSE(cache.digestIfUnchanged("b", {1, 1, 1}));

  cache.setMatched({digest_, "1"});
  cache.record("a", {2, 2, 2}, digest_);
  EXPECT_EQ(cache.matched().sha256, "");
}

TEST_F(FileCacheTest, DamagedStateIsForgottenWhole) {
  const std::string good = "kaldra-state 1\nmatched - 1\n" + digest_ + " 3 4 5 a\n";
  writeFile(state_, good);
  EXPECT_TRUE(FileCache::load(state_).digestIfUnchanged("a", {3, 4, 5}));
  for (const std::string& bad :
       {std::string("kaldra-state 2\nmatched - 1\n"), good.substr(0, good.size() - 1),
        good + digest_ + " x 4 5 b\n", good + digest_ + " 3 4 5\n", good + "\n",
        std::string("kaldra-state 1\n") + digest_ + " 3 4 5 a\n"}) {
    writeFile(state_, bad);
    auto cache = FileCache::load(state_);
    EXPECT_FALSE(cache.digestIfUnchanged("a", {3, 4, 5})) << bad;
  }
}

}  // namespace
}  // namespace kaldra::update
