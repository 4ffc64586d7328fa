// The updater tool against nginx over HTTP and HTTPS, the network misbehaving on the first
// run. Whatever happens, the game folder holds only complete files of the old or the new
// version, nothing is written outside it, and the next run against a sound server finishes.
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

enum class Twist {
  none,
  tamperedManifest,
  otherKey,
  fileChanged,
  replayed,
  expired,
  rotated,
  retired,
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
    {"CutAt10", "/cut-40000", Twist::none, 3},
    {"CutAt50", "/cut-200000", Twist::none, 3},
    {"CutAt99", "/cut-396000", Twist::none, 3},
    {"Stall", "/stall-200000", Twist::none, 3, "stalled"},
    {"Error500ThenSuccess", "/flaky", Twist::none, 0},
    {"TooManyRequestsThenSuccess", "/busy", Twist::none, 0},
    {"WrongLength", "/longer", Twist::none, 5, "longer than the"},
    {"FileChangedBetweenRuns", "/cut-200000", Twist::fileChanged, 3},
    {"TamperedManifest", "", Twist::tamperedManifest, 8, "signature"},
    {"SignedWithAnotherKey", "", Twist::otherKey, 8, "signature"},
    // Genuine but older than the installed version, or held back past its time.
    {"ReplayedOlderManifest", "", Twist::replayed, 10, "older than the accepted"},
    {"ExpiredManifest", "", Twist::expired, 10, "expired at"},
    // The publisher moves to a new key; a retired one signs nothing any more.
    {"RotatedKey", "", Twist::rotated, 0},
    {"RetiredKey", "", Twist::retired, 8, "not a trusted publisher key"},
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
    for (auto name : {"manifest.json", "manifest.json.sig"})
      first_[name] = readFile(channel_ / name);
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
  std::map<std::string, std::string> first_;  // the first version's manifest and signature
  kaldra::testing::TempDir keys_;             // private keys, never in the channel
  std::string newKey_ = generatePrivateKeyPem();
  int version_ = 0;
  fs::path newChunk_;  // a chunk object that only the second version names
};

TEST_P(HostileNetwork, GameFolderStaysSoundAndTheNextRunFinishes) {
  std::string channel = web_.url(scheme()) + cell().fault;
  if (cell().twist == Twist::tamperedManifest)
    writeFile(channel_ / kManifestName, std::regex_replace(readFile(channel_ / kManifestName),
                                                           std::regex("\"v2\""), "\"v9\""));
  auto signWith = [&](const std::string& key) {
    writeFile(channel_ / "manifest.json.sig", signBytes(readFile(channel_ / kManifestName), key));
  };
  if (cell().twist == Twist::otherKey) signWith(generatePrivateKeyPem());
  if (cell().twist == Twist::expired) publishChannel(channel_, latest_, "v2", 0);
  if (cell().twist == Twist::rotated || cell().twist == Twist::retired) {
    writeFile(keys_ / "new.pem", newKey_);
    std::vector<std::string> rotate{"rotate-key", channel_.string(),
                                    "--key",      KALDRA_SIGNING_KEY,
                                    "--new-key",  (keys_ / "new.pem").string()};
    if (cell().twist == Twist::retired) rotate.push_back("--retire");
    ASSERT_EQ(runTool(rotate).status, 0);
    publishFolder({.folder = channel_, .version = "v2", .privateKeyPem = newKey_, .threads = 2});
    if (cell().twist == Twist::retired) signWith(buildSigningKey());
  }
  if (cell().twist == Twist::replayed) {
    ASSERT_EQ(prepare(web_.url(scheme())).status, 0);
    for (const auto& [name, bytes] : first_) writeFile(channel_ / name, bytes);
  }
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
  // A refused manifest writes nothing.
  if (cell().firstStatus >= 8) {
    EXPECT_EQ(readFile(game_ / "data/small.txt"),
              cell().twist == Twist::replayed ? "small two" : "small one");
  }

  if (cell().twist == Twist::chunkSpoilt) {
    auto name = fs::path(newChunk_).filename().string();
    EXPECT_EQ(std::regex_search(web_.requests(), std::regex(name + "[^]*" + name)), true);
  }
  if (cell().twist == Twist::chunkSpoilt || cell().twist == Twist::chunkMissing) {
    writeFile(newChunk_, chunk);
  } else if (cell().twist == Twist::fileChanged) {
    publish("two", '3');
  } else if (cell().twist == Twist::retired) {
    publishFolder({.folder = channel_, .version = "v2", .privateKeyPem = newKey_, .threads = 2});
  } else if (cell().twist != Twist::none) {
    publishChannel(channel_, latest_, "v2");
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
