#include "updater/channel/chunk_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/channel/chunk_store.h"
#include "updater/channel/chunker.h"

namespace kaldra::update {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> chunksOf(const std::string& content) {
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < content.size();) {
    auto rest = std::string_view(content).substr(at, kMaxChunk);
    auto length = chunkLength(reinterpret_cast<const unsigned char*>(rest.data()), rest.size());
    chunks.emplace_back(rest.substr(0, length));
    at += length;
  }
  return chunks;
}

// Chunks but the last stay within the limits; an insertion renews only nearby chunks.
TEST(Chunker, CutsWithinTheLimitsAndAnInsertionMovesOnlyNearbyCuts) {
  std::mt19937_64 random(11);
  std::string content(3 << 20, '\0');
  for (char& c : content) c = static_cast<char>(random());
  for (const std::string& sample : {content, std::string(1 << 20, '\0'), std::string(100, 'a'),
                                    content.substr(0, kMinChunk + 1)}) {
    auto chunks = chunksOf(sample);
    for (std::size_t i = 0; i + 1 < chunks.size(); ++i) {
      EXPECT_GE(chunks[i].size(), kMinChunk);
      EXPECT_LE(chunks[i].size(), kMaxChunk);
    }
    EXPECT_EQ(chunks.empty(), sample.empty());
  }
  auto before = chunksOf(content);
  EXPECT_GT(before.size(), 3 * (content.size() / kMaxChunk));  // cut by content, not by size
  std::set<std::string> known(before.begin(), before.end());
  content.insert(content.size() / 2, "inserted");
  std::size_t fresh = 0;
  for (const auto& chunk : chunksOf(content)) fresh += known.contains(chunk) ? 0 : 1;
  EXPECT_LE(fresh, 2u);
  // The cuts are part of every published store: other cuts would make every file new.
  std::string lengths;
  for (const auto& chunk : before) lengths += std::to_string(chunk.size()) + " ";
  EXPECT_EQ(sha256Hex(lengths), "045d74456f391c0aa6ca69c81060cf723565c0a09d8d4fe58ba71445776dfec2");
}

TEST(ChunkList, ReadsOnlyWellFormedLists) {
  const std::string digest(64, 'a');
  const std::vector<ChunkRef> chunks{{digest, 1, true}, {digest, kMaxChunk, false}};
  EXPECT_EQ(parseChunkList(chunkListText(chunks)), chunks);
  EXPECT_TRUE(parseChunkList("kaldra-chunks 1\n").empty());
  const std::string head = "kaldra-chunks 1\n";
  for (const std::string& bad :
       {std::string(""), std::string("kaldra-chunks 2\n"), head + digest + " 1 z",
        head + digest + " 0 z\n", head + digest + " 01 z\n",
        head + digest + " " + std::to_string(kMaxChunk + 1) + " -\n", head + digest + " 1 x\n",
        head + digest + "  1 z\n", head + std::string(64, 'A') + " 1 z\n",
        head + std::string(63, 'a') + "g 1 z\n", head + digest + " 1z\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(parseChunkList(bad), UpdateError);
  }
}

// Objects are added, never rewritten; a chunk is compressed only where that saves space.
TEST(ChunkStore, AddsOnlyWhatItLacksAndCompressesWhereThatHelps) {
  kaldra::testing::TempDir temp;
  std::mt19937_64 random(3);
  std::string noise(100000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  testing::writeFile(temp / "noise", noise);
  testing::writeFile(temp / "plain", std::string(100000, 'p'));
  ChunkStore store(temp.path());
  auto objects = [&] {
    std::map<fs::path, ino_t> found;
    for (const auto& entry : fs::recursive_directory_iterator(temp / "kaldra-store")) {
      struct stat info {};
      if (entry.is_regular_file() && ::stat(entry.path().c_str(), &info) == 0)
        found[entry.path().lexically_relative(temp.path())] = info.st_ino;
    }
    return found;
  };
  auto noiseStored = store.storeFile(temp / "noise");
  auto plainStored = store.storeFile(temp / "plain");
  EXPECT_EQ(noiseStored.sha256, sha256Hex(noise));
  auto first = objects();
  // A file zstd does not shrink whole too, as a copy: a game file changed in place later
  // leaves it as it was. One it shrinks only as its chunks.
  EXPECT_EQ(testing::readFile(temp / fileObjectPath(noiseStored.sha256)), noise);
  EXPECT_FALSE(fs::exists(temp / fileObjectPath(plainStored.sha256)));
  for (const auto& [name, stored] : {std::pair{"noise", noiseStored}, {"plain", plainStored}}) {
    auto list = parseChunkList(testing::readFile(temp / chunkListPath(stored.list)));
    EXPECT_EQ(sha256Hex(testing::readFile(temp / chunkListPath(stored.list))), stored.list);
    for (const auto& chunk : list) {
      EXPECT_EQ(chunk.compressed, std::string(name) == "plain");
      EXPECT_TRUE(first.contains(chunkObjectPath(chunk)));
    }
  }
  std::fstream(temp / "noise", std::ios::in | std::ios::out).seekp(0)
      << static_cast<char>(noise[0] ^ 1);
  EXPECT_EQ(testing::readFile(temp / fileObjectPath(noiseStored.sha256)), noise);
  testing::writeFile(temp / "noise", noise + "more");
  store.storeFile(temp / "noise");
  store.storeFile(temp / "plain");
  auto second = objects();
  for (const auto& [path, inode] : first) EXPECT_EQ(second.at(path), inode) << path;
  EXPECT_EQ(second.size(), first.size() + 3);  // the last chunk, the list and the file
  // A file that reads otherwise the second time (as one changed while it was published
  // does) is never stored whole under a name that is not its own.
  auto wholeFiles = [&] {
    return std::ranges::count_if(fs::recursive_directory_iterator(temp / "kaldra-store/files"),
                                 [](const auto& entry) { return entry.is_regular_file(); });
  };
  auto before = wholeFiles();
  EXPECT_THROW(store.storeFile("/proc/self/schedstat"), UpdateError);
  EXPECT_EQ(wholeFiles(), before);
}

}  // namespace
}  // namespace kaldra::update
