#include "updater/transfer.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using testing::writeFile;

class TransferTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(folder_ / "file.txt", "0123456789"); }

  // The body from `from` on and where the server said it starts; empty on failure.
  std::pair<std::string, std::uint64_t> fetch(const std::string& url, std::uint64_t from = 0,
                                              bool trusting = true) {
    Transfer transfer({.extraCaFile = trusting ? web_.caFile() : ""});
    std::pair<std::string, std::uint64_t> fetched{"", 99};
    try {
      transfer.fetchFrom(
          url, from, [&](std::uint64_t start) { fetched.second = start; },
          [&](std::string_view piece) { fetched.first.append(piece); });
    } catch (const TransferError& error) {
      EXPECT_EQ(error.cause(), TransferError::Cause::refused) << error.what();
      return {"", 99};
    }
    return fetched;
  }

  kaldra::testing::TempDir temp_;
  std::filesystem::path folder_ = temp_ / "served";
  kaldra::testing::WebServer web_{folder_};
};

TEST_F(TransferTest, RedirectsNeverLeaveHttpsNorHttpAndOnlyTrustedCertificatesPass) {
  std::string http = web_.url("http"), https = web_.url("https");
  struct Case {
    std::string url;
    bool trusting, fetched;
  } cases[] = {
      {http + "/to-https/file.txt", true, true},
      {http + "/to-http/file.txt", true, true},
      {https + "/to-https/file.txt", true, true},
      {https + "/to-http/file.txt", true, false},
      {https + "/to-https/to-http/file.txt", true, false},
      {http + "/to-https/to-http/file.txt", true, false},
      {http + "/to-ftp/file.txt", true, false},
      {http + "/to-http/to-http/to-http/to-http/to-http/to-http/file.txt", true, false},
      {https + "/file.txt", false, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(fetch(c.url, 0, c.trusting).first, c.fetched ? "0123456789" : "") << c.url;
}

}  // namespace
}  // namespace kaldra::update
