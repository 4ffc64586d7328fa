#include "updater/game/download.h"

#include <gtest/gtest.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/game/partial_file.h"

// The disk's side of a flush cannot be made to fail on demand: the next one fails here.
static std::atomic<bool> failNextFlush{false};
extern "C" int fdatasync(int fd) {
  if (failNextFlush.exchange(false)) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fdatasync, fd));
}

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
namespace fs = std::filesystem;

// A big file is flushed as it arrives, on another thread; a failure there stops its install.
TEST(Download, AFailedFlushOfABigFileIsNotInstalled) {
  kaldra::testing::TempDir temp;
  failNextFlush = true;
  {
    PartialFile partial(temp / "partial");
    partial.write(std::string(64 << 20, 'x'));
    EXPECT_THROW(partial.install(temp / "game.pak"), UpdateError);
  }
  EXPECT_FALSE(fs::exists(temp / "game.pak"));
  EXPECT_FALSE(failNextFlush);
}

TEST(Download, KeptBytesContinueOnlyWhenTheyFitRedirectsKeepToHttpsAndATrickleStalls) {
  kaldra::testing::TempDir temp;
  std::string content(300000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 % 251);
  writeFile(temp / "channel/big.pak", content);
  kaldra::testing::WebServer web(temp / "channel");
  ManifestFile file{.path = "big.pak", .size = content.size(), .sha256 = sha256Hex(content)};
  fs::path partials = temp / "game/.kaldra-partial", target = temp / "game/big.pak";

  const std::string http = web.url("http"), https = web.url("https"), ranges = http + "/big.pak";
  const struct {
    const char* what;
    std::string url, kept;
    std::uint64_t fetched;
  } cases[] = {
      {"the first half", ranges, content.substr(0, 150000), 150000},
      {"from a file", "file://" + (temp / "channel/big.pak").string(), content.substr(0, 1),
       299999},
      {"all of it", ranges, content, 0},
      {"half of another version", ranges, std::string(150000, 'x'), 450000},  // both tries
      {"more than listed", ranges, content + "x", 300000},
      {"a server without ranges", http + "/stall-999999/big.pak", content.substr(0, 1000), 300000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    writeFile(target, "old");
    writeFile(partials / partialName(file), c.kept);
    Transfer transfer;
    EXPECT_EQ(downloadFile(transfer, c.url, file, target, partials, {}, [](auto) {}).received,
              c.fetched);
    EXPECT_EQ(readFile(target), content);
    EXPECT_TRUE(fs::is_empty(partials));
  }
  // A range: as asked, cut out of a whole body, read from a file; one the body ends in is
  // no range.
  for (const auto& url :
       {ranges, http + "/stall-999999/big.pak", "file://" + (temp / "channel/big.pak").string()}) {
    Transfer transfer;
    std::string got;
    transfer.fetchRange(url, 1000, 5000, [&](std::string_view piece) { got += piece; });
    EXPECT_EQ(got, content.substr(1000, 5000)) << url;
    EXPECT_THROW(transfer.fetchRange(url, 299000, 5000, [](std::string_view) {}), UpdateError);
  }
  // A partial file that is a link is never written through.
  writeFile(temp / "private", "private");
  fs::create_symlink(temp / "private", partials / partialName(file));
  Transfer once;
  EXPECT_THROW(downloadFile(once, ranges, file, target, partials, {}, [](auto) {}), UpdateError);
  EXPECT_EQ(readFile(temp / "private"), "private");
  fs::remove(partials / partialName(file));

  const std::pair<std::string, bool> fetched[] = {
      {http + "/to-https/big.pak", true},
      {http + "/to-http/big.pak", true},
      {https + "/to-https/big.pak", true},
      {https + "/to-http/big.pak", false},
      {https + "/to-https/to-http/big.pak", false},
      {http + "/to-https/to-http/big.pak", false},
      {http + "/to-ftp/big.pak", false},
      {http + "/to-http/to-http/to-http/to-http/to-http/to-http/big.pak", false},
      {https + "/big.pak?untrusted", false},
  };
  for (const auto& [url, ok] : fetched) {
    SCOPED_TRACE(url);
    Transfer transfer({.extraCaFile = url.ends_with("untrusted") ? "" : web.caFile()});
    std::size_t received = 0;
    try {
      transfer.fetchFrom(
          url, 0, [](std::uint64_t) {}, [&](std::string_view piece) { received += piece.size(); });
    } catch (const TransferError& error) {
      EXPECT_EQ(error.cause(), TransferError::Cause::refused) << error.what();
    }
    EXPECT_EQ(received, ok ? content.size() : 0);
  }
  Transfer slow({.stallLimit = std::chrono::seconds(1)});
  EXPECT_THROW(slow.fetchFrom(
                   http + "/drip", 0, [](std::uint64_t) {}, [](std::string_view) {}),
               TransferError);
}

}  // namespace
}  // namespace kaldra::update
