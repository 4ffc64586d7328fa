// The tool against nginx misbehaving on a first run: the game folder holds only whole files
// of either version, nothing is written outside it, and the next run finishes.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <regex>
#include <set>

#include "tests/support/tool_run.h"
#include "tests/support/web_server.h"
#include "updater/channel/chunk_list.h"
#include "updater/game/download.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// The manifest's trust is the tool's own tests' matter; here only the network's faults.
enum class Twist {
  none,
  fileChanged,
  chunkSpoilt,
  chunkMissing,
  wholeFilesMissing,
  wholeFilesDamaged
};

// The first run's fault (a path prefix of the server's), its exit status and what it logs.
struct Cell {
  const char* name;
  const char* fault;
  Twist twist;
  int firstStatus;
  const char* logged = "";
  Layout layout = Layout::wholeFiles;
};

// The big file is 400 kB; every other file is smaller than the least of the cuts.
const Cell kCells[] = {
    {"CutHalfway", "/cut-200000", Twist::none, 3},
    {"Stall", "/stall-200000", Twist::none, 3, "stalled"},
    {"Error500ThenSuccess", "/flaky", Twist::none, 0},
    {"TooManyRequestsThenSuccess", "/busy", Twist::none, 0},
    {"WrongLength", "/longer", Twist::none, 5, "longer than the"},
    {"FileChangedBetweenRuns", "/cut-200000", Twist::fileChanged, 3},
    // Published in chunks: each is cut, or is not what its name says (refused, fetched once
    // more, then an error), or is missing on the server.
    {"ChunksCut", "/cut-20000", Twist::none, 3, "", Layout::chunkStore},
    {"ChunkNotItsName", "", Twist::chunkSpoilt, 5, "not the chunk's", Layout::chunkStore},
    {"ChunkMissing", "", Twist::chunkMissing, 3, "404", Layout::chunkStore},
    // A store without its files whole still has their chunks, for a fresh install too.
    {"WholeFilesMissing", "", Twist::wholeFilesMissing, 0, "", Layout::chunkStore},
    {"WholeFilesDamaged", "", Twist::wholeFilesDamaged, 0, "from its chunks", Layout::chunkStore},
};

class HostileNetwork : public ::testing::TestWithParam<std::tuple<const char*, Cell>> {
 protected:
  void SetUp() override {
    publish("one", '1');
    ASSERT_EQ(prepare(web_.url(scheme())).status, 0);
    auto before = storeObjects(channel_);
    publish("two", '2');
    for (const auto& object : storeObjects(channel_))
      if (!before.contains(object) && object.find("/chunks/") != std::string::npos)
        newChunk_ = channel_ / object;
  }

  static const char* scheme() { return std::get<0>(GetParam()); }
  static const Cell& cell() { return std::get<1>(GetParam()); }

  // Publishes a version whose 400 kB differ from any other's all through, and do not
  // compress; its files may be held. In chunks, versions share the last 150 kB, so that a
  // new one is built from chunks rather than fetched whole.
  void publish(const std::string& small, char version) {
    std::mt19937 random(version), shared(0);
    std::string big(400000, version);
    for (std::size_t i = 0; i < big.size(); ++i)
      big[i] = static_cast<char>(cell().layout == Layout::chunkStore && i >= 250000 ? shared()
                                                                                    : random());
    latest_ = {
        {"kaldrith.exe", "MZ one"}, {"data/small.txt", "small " + small}, {"data/big.pak", big}};
    for (const auto& [path, content] : latest_) allowed_[path].insert(content);
    publishChannel(channel_, latest_, "v" + std::to_string(++version_), 30, cell().layout);
  }

  ToolRun prepare(const std::string& channel) {
    return runTool({"prepare", "--root", game_.string(), "--json", "--lang", "en"},
                   {"KALDRA_UPDATE_CHANNEL=" + channel, "KALDRA_TEST_STALL_SECONDS=1",
                    "KALDRA_TEST_RETRY_MS=50", "KALDRA_TEST_CA_FILE=" + web_.caFile()});
  }

  // Only complete files of a published version, the tool's own entries, and downloads no
  // longer than listed in the partial folder; nothing beside the channel and the game.
  void expectSoundFolders() {
    EXPECT_EQ(std::distance(fs::directory_iterator(temp_.path()), {}), 2);
    for (const auto& entry : fs::recursive_directory_iterator(game_)) {
      auto path = entry.path().lexically_relative(game_).generic_string();
      if (path.starts_with(".kaldra-partial/")) {
        EXPECT_LE(entry.is_regular_file() ? entry.file_size() : 0, 400000u) << path;
      } else if (entry.is_regular_file() && !path.starts_with(".kaldra-")) {
        EXPECT_TRUE(allowed_[path].contains(readFile(entry.path()))) << path;
      }
    }
  }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path game_ = temp_ / "game";
  kaldra::testing::WebServer web_{channel_};
  std::map<std::string, std::set<std::string>> allowed_;
  std::map<std::string, std::string> latest_;
  int version_ = 0;
  fs::path newChunk_;  // a chunk object that only the second version names
};

TEST_P(HostileNetwork, GameFolderStaysSoundAndTheNextRunFinishes) {
  std::string channel = web_.url(scheme()) + cell().fault;
  std::string chunk = newChunk_.empty() ? "" : readFile(newChunk_);
  if (cell().twist == Twist::chunkSpoilt) writeFile(newChunk_, chunk.substr(1) + "x");
  if (cell().twist == Twist::chunkMissing) fs::remove(newChunk_);
  if (cell().twist == Twist::wholeFilesMissing || cell().twist == Twist::wholeFilesDamaged) {
    for (const auto& object : fs::recursive_directory_iterator(channel_ / kStoreFolder / "files"))
      if (object.is_regular_file()) {
        auto bytes = readFile(object.path());
        bytes.back() ^= 1;
        if (cell().twist == Twist::wholeFilesMissing)
          fs::remove(object.path());
        else
          writeFile(object.path(), bytes);
      }
    fs::remove_all(game_);
  }

  auto first = prepare(channel);
  EXPECT_EQ(first.status, cell().firstStatus) << first.err;
  EXPECT_NE(first.err.find(cell().logged), std::string::npos) << first.err;
  EXPECT_EQ(parseEvents(first.out).back()["type"], cell().firstStatus == 0 ? "progress" : "error");
  expectSoundFolders();
  for (const auto& [path, content] : latest_)
    EXPECT_TRUE(cell().firstStatus != 0 || readFile(game_ / path) == content) << path;

  if (cell().twist == Twist::chunkSpoilt) {
    auto name = fs::path(newChunk_).filename().string();
    EXPECT_EQ(std::regex_search(web_.requests(), std::regex(name + "[^]*" + name)), true);
  }
  if (cell().twist == Twist::chunkSpoilt || cell().twist == Twist::chunkMissing) {
    writeFile(newChunk_, chunk);
  } else if (cell().twist == Twist::fileChanged) {
    publish("two", '3');
  }
  auto before = web_.requests().size();
  auto second = prepare(web_.url(scheme()));
  EXPECT_EQ(second.status, 0) << second.err;
  for (const auto& [path, content] : latest_) EXPECT_EQ(readFile(game_ / path), content) << path;
  EXPECT_FALSE(fs::exists(game_ / ".kaldra-partial"));
  expectSoundFolders();

  // A cut or stalled big file is continued where the first run stopped, and no file the
  // first run installed or checked is read again.
  bool resumable = cell().firstStatus == 3 && cell().twist == Twist::none;
  EXPECT_TRUE(!resumable || second.err.find("; 0 read,") != std::string::npos) << second.err;
  EXPECT_TRUE(!resumable || cell().layout == Layout::chunkStore ||
              std::regex_search(web_.requests().substr(before),
                                std::regex("GET /data/big.pak 206 [0-9]+ bytes=")));
}

INSTANTIATE_TEST_SUITE_P(Matrix, HostileNetwork,
                         ::testing::Combine(::testing::Values("http", "https"),
                                            ::testing::ValuesIn(kCells)),
                         [](const auto& param) {
                           return std::string(std::get<1>(param.param).name) + "_" +
                                  std::get<0>(param.param);
                         });

}  // namespace
}  // namespace kaldra::update
