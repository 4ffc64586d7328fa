#include "updater/transfer.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"
#include "tests/support/web_server.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

using testing::writeFile;

// The body fetched, or "" when the transfer was refused.
std::string fetch(const std::string& url, const std::string& caFile) {
  Transfer transfer({.extraCaFile = caFile});
  std::string body;
  try {
    transfer.fetchFrom(
        url, 0, [](std::uint64_t) {}, [&](std::string_view piece) { body += piece; });
  } catch (const TransferError& error) {
    EXPECT_EQ(error.cause(), TransferError::Cause::refused) << error.what();
    return "";
  }
  return body;
}

TEST(Transfer, RedirectsNeverLeaveHttpsNorHttpAndOnlyTrustedCertificatesPass) {
  kaldra::testing::TempDir temp;
  writeFile(temp / "served/file.txt", "0123456789");
  kaldra::testing::WebServer web(temp / "served");
  std::string http = web.url("http"), https = web.url("https");
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
    EXPECT_EQ(fetch(c.url, c.trusting ? web.caFile() : ""), c.fetched ? "0123456789" : "") << c.url;
}

}  // namespace
}  // namespace kaldra::update
