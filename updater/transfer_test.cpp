#include "updater/transfer.h"

#include <gtest/gtest.h>

#include "tests/support/http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
using Fault = kaldra::testing::HttpServer::Fault;
using Cause = TransferError::Cause;

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(folder_ / "file.txt", "0123456789"); }

  NetworkSettings trusting() const {
    return {.stallLimit = std::chrono::seconds(2), .extraCaFile = web_.caFile()};
  }

  // The body of `url` from `from` on, and where the server said it starts; or the cause of
  // the failure.
  struct Fetched {
    std::string body;
    std::uint64_t start = 99;
    std::optional<Cause> failure;
  };
  static Fetched fetch(const NetworkSettings& settings, const std::string& url,
                       std::uint64_t from = 0) {
    Transfer transfer(settings);
    Fetched fetched;
    try {
      transfer.fetchFrom(
          url, from, [&](std::uint64_t start) { fetched.start = start; },
          [&](std::string_view piece) { fetched.body.append(piece); });
    } catch (const TransferError& error) {
      fetched.failure = error.cause();
    }
    return fetched;
  }

  kaldra::testing::TempDir temp_;
  std::filesystem::path folder_ = temp_ / "served";
  kaldra::testing::HttpServer plain_{folder_};
  kaldra::testing::WebServer web_{folder_, plain_.port()};
};

TEST_F(TransferTest, RedirectsNeverLeaveHttpsNorHttp) {
  struct Case {
    std::string url;
    bool followed;
  } cases[] = {
      {web_.url("http") + "/to-https/file.txt", true},
      {web_.url("http") + "/to-http/file.txt", true},
      {web_.url("https") + "/to-https/file.txt", true},
      {web_.url("https") + "/to-http/file.txt", false},
      {web_.url("https") + "/to-https/to-http/file.txt", false},
      {web_.url("http") + "/to-https/to-http/file.txt", false},
      {web_.url("http") + "/to-ftp/file.txt", false},
      {web_.url("http") + "/to-http/to-http/to-http/to-http/to-http/to-http/file.txt", false},
  };
  for (const auto& c : cases) {
    auto fetched = fetch(trusting(), c.url);
    if (c.followed) {
      EXPECT_EQ(fetched.body, "0123456789") << c.url;
    } else {
      EXPECT_EQ(fetched.failure, Cause::refused) << c.url;
      EXPECT_EQ(fetched.body, "") << c.url;
    }
  }
}

TEST_F(TransferTest, HttpsTrustsOnlyTheSystemStoreAndTheAddedAuthority) {
  EXPECT_EQ(fetch(trusting(), web_.url("https") + "/file.txt").body, "0123456789");
  EXPECT_EQ(fetch({}, web_.url("https") + "/file.txt").failure, Cause::refused);
}

TEST_F(TransferTest, RangesStartWhereTheServerSays) {
  auto fileUrl = "file://" + (folder_ / "file.txt").string();
  struct Case {
    std::string url;
    std::uint64_t from;
    std::string body;
    std::uint64_t start;
  } cases[] = {
      {web_.url("http") + "/file.txt", 4, "456789", 4},
      {web_.url("https") + "/file.txt", 9, "9", 9},
      {web_.url("http") + "/file.txt", 0, "0123456789", 0},
      {fileUrl, 6, "6789", 6},
      {plain_.url() + "/file.txt", 4, "0123456789", 0},  // a server without ranges
  };
  for (const auto& c : cases) {
    auto fetched = fetch(trusting(), c.url, c.from);
    EXPECT_EQ(fetched.body, c.body) << c.url;
    EXPECT_EQ(fetched.start, c.start) << c.url;
  }
  EXPECT_EQ(fetch(trusting(), web_.url("http") + "/file.txt", 11).failure, Cause::rangeRefused);
}

TEST_F(TransferTest, FailuresAreSortedByWhetherAnotherTryCanHelp) {
  plain_.setFault({.kind = Fault::Kind::status500, .target = "/file.txt"});
  auto refusedPort = [] {
    kaldra::testing::TempDir empty;
    kaldra::testing::HttpServer gone(empty.path());
    return gone.url();
  }();
  struct Case {
    std::string url;
    Cause cause;
  } cases[] = {
      {plain_.url() + "/file.txt", Cause::transient},
      {refusedPort + "/file.txt", Cause::transient},
      {web_.url("http") + "/missing.txt", Cause::missing},
      {"file://" + (folder_ / "missing.txt").string(), Cause::missing},
      {"gopher://127.0.0.1/file.txt", Cause::refused},
  };
  for (const auto& c : cases) EXPECT_EQ(fetch(trusting(), c.url).failure, c.cause) << c.url;
}

TEST_F(TransferTest, AStallEndsWithinTheLimit) {
  for (auto kind : {Fault::Kind::stall, Fault::Kind::drip}) {
    plain_.setFault({.kind = kind, .target = "/file.txt"});
    auto started = std::chrono::steady_clock::now();
    auto fetched = fetch({.stallLimit = std::chrono::seconds(1)}, plain_.url() + "/file.txt");
    EXPECT_EQ(fetched.failure, Cause::transient);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  }
}

TEST(TransferRetry, OnlyTransientFailuresAreTriedAgainAndOnlyAFewTimes) {
  NetworkSettings settings{.attempts = 3, .firstPause = std::chrono::milliseconds(1)};
  TransferError transient(Cause::transient, "reset"), missing(Cause::missing, "404");
  EXPECT_TRUE(waitToRetry(transient, 1, settings));
  EXPECT_TRUE(waitToRetry(transient, 2, settings));
  EXPECT_FALSE(waitToRetry(transient, 3, settings));
  EXPECT_FALSE(waitToRetry(missing, 1, settings));
}

}  // namespace
}  // namespace kaldra::update
