#include "updater/download.h"

#include <gtest/gtest.h>

#include "tests/support/http_server.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "updater/sha256.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using namespace kaldra::update::testing;
using Fault = kaldra::testing::HttpServer::Fault;
namespace fs = std::filesystem;

class Download : public ::testing::Test {
 protected:
  void SetUp() override {
    writeFile(channel_ / "big.pak", content_);
    writeFile(target_, "old");
    fs::create_directories(partials_);
  }

  Downloaded download(const std::string& url) {
    Transfer transfer(settings_);
    return downloadFile(transfer, url, file_, target_, partials_, settings_, [](std::uint64_t) {});
  }
  FailureKind failure(const std::string& url) {
    try {
      download(url);
    } catch (const UpdateError& error) {
      return error.kind();
    }
    ADD_FAILURE() << "downloaded";
    return FailureKind::other;
  }
  fs::path kept() const { return partials_ / partialName(file_); }

  kaldra::testing::TempDir temp_;
  fs::path channel_ = temp_ / "channel";
  fs::path partials_ = temp_ / "game/.kaldra-partial";
  fs::path target_ = temp_ / "game/big.pak";
  std::string content_ = [] {
    std::string bytes(300000, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
  }();
  ManifestFile file_{.path = "big.pak", .size = 300000, .sha256 = sha256Hex(content_)};
  NetworkSettings settings_{.stallLimit = std::chrono::seconds(1),
                            .firstPause = std::chrono::milliseconds(10)};
  kaldra::testing::HttpServer faulty_{channel_};
  kaldra::testing::WebServer web_{channel_};
};

TEST_F(Download, WhatAnEarlierTryKeptIsContinuedOnlyWhenItFits) {
  struct Case {
    const char* what;
    std::string kept;
    std::uint64_t fetched;
  } cases[] = {
      {"nothing kept", "", 300000},
      {"the first half", content_.substr(0, 150000), 150000},
      {"all but one byte", content_.substr(0, 299999), 1},
      {"all of it", content_, 0},
      {"half of another version", std::string(150000, 'x'), 450000},  // both tries count
      {"more than listed", content_ + "x", 300000},
  };
  for (const auto& c : cases) {
    for (const auto& url :
         {web_.url("http") + "/big.pak", "file://" + channel_.string() + "/big.pak"}) {
      if (!c.kept.empty()) writeFile(kept(), c.kept);
      EXPECT_EQ(download(url).received, c.fetched) << c.what << " " << url;
      EXPECT_EQ(readText(target_), content_) << c.what;
      EXPECT_FALSE(fs::exists(kept())) << c.what;
      writeFile(target_, "old");
    }
  }
}

TEST_F(Download, AServerThatIgnoresTheRangeStartsTheFileAgain) {
  writeFile(kept(), content_.substr(0, 1000));
  EXPECT_EQ(download(faulty_.url() + "/big.pak").received, 300000u);
  EXPECT_EQ(readText(target_), content_);
}

TEST_F(Download, TransientFailuresAreTriedAgainAndWhatArrivedIsKeptForTheNextRun) {
  faulty_.setFault({.kind = Fault::Kind::status500, .target = "/big.pak", .times = 2});
  EXPECT_EQ(download(faulty_.url() + "/big.pak").received, 300000u);
  EXPECT_EQ(faulty_.requests().size(), 3u);

  writeFile(target_, "old");
  faulty_.setFault({.kind = Fault::Kind::cut, .target = "/big.pak", .at = 0.5});
  EXPECT_EQ(failure(faulty_.url() + "/big.pak"), FailureKind::network);
  EXPECT_EQ(faulty_.requests().size(), 3u + settings_.attempts);
  EXPECT_EQ(readText(target_), "old");
  EXPECT_EQ(fs::file_size(kept()), 150000u);
  EXPECT_EQ(download(web_.url("http") + "/big.pak").received, 150000u);
  EXPECT_EQ(readText(target_), content_);
}

TEST_F(Download, ABodyLongerThanListedIsRefusedAtOnceAndNothingIsKept) {
  faulty_.setFault({.kind = Fault::Kind::longer, .target = "/big.pak"});
  EXPECT_EQ(failure(faulty_.url() + "/big.pak"), FailureKind::integrity);
  EXPECT_EQ(faulty_.requests().size(), 1u);
  EXPECT_EQ(readText(target_), "old");
  EXPECT_FALSE(fs::exists(kept()));
}

}  // namespace
}  // namespace kaldra::update
