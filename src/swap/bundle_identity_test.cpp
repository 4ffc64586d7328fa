#include "swap/bundle_identity.h"

#include <gtest/gtest.h>
#include <plist/plist.h>

#include "swap/swap_error.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

using testing::SwapSandbox;

TEST(Versions, PartsAndComparison) {
  using Parts = std::vector<std::int64_t>;
  EXPECT_EQ(versionParts(""), Parts{});
  EXPECT_EQ(versionParts("-"), Parts{});
  EXPECT_EQ(versionParts("3..4"), (Parts{3, 4}));
  EXPECT_EQ(versionParts("1.4.2-beta3"), (Parts{1, 4, 2}));
  EXPECT_EQ(versionParts("-2.5"), (Parts{2, 5}));  // the first non-empty piece counts
  EXPECT_EQ(versionParts("+7.x. 1.99999999999999999999"), (Parts{7, 0, 0, 0}));

  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {
      {"1.10", "1.9", 1},   {"2.0", "2", 0}, {"1.2.3-rc1", "1.2.3", 0},       {"1.a", "1.0", 0},
      {"1.0", "1.0.1", -1}, {"", "0", 0},    {"9223372036854775807", "1", 1}, {"0.0.1", "", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(cmpVersion(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(cmpVersion(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

class Identity : public SwapSandbox {};

TEST_F(Identity, ReadsXmlAndBinaryPlistsAndGivesNothingForOthers) {
  fs::path xml = makeBundle(dir / "xml/Kaldrith.app", "1.2");
  auto info = bundleInfo(xml);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->id, kBundleID);
  EXPECT_EQ(info->version, "1.2");

  // A binary plist whose version is an integer, not a string.
  fs::path binary = dir / "binary.app";
  fs::create_directories(binary / "Contents");
  plist_t dict = plist_new_dict();
  plist_dict_set_item(dict, "CFBundleIdentifier", plist_new_string("x"));
  plist_dict_set_item(dict, "CFBundleShortVersionString", plist_new_uint(5));
  char* bytes = nullptr;
  uint32_t length = 0;
  plist_to_bin(dict, &bytes, &length);
  std::ofstream(binary / "Contents/Info.plist", std::ios::binary).write(bytes, length);
  free(bytes);
  plist_free(dict);
  info = bundleInfo(binary);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->id, "x");
  EXPECT_EQ(info->version, "");

  fs::create_directories(dir / "broken.app/Contents");
  std::ofstream(dir / "broken.app/Contents/Info.plist") << "<plist><array></array></plist>";
  EXPECT_FALSE(bundleInfo(dir / "broken.app"));
  EXPECT_FALSE(bundleInfo(dir / "missing.app"));
  fs::create_directories(dir / "folder.app/Contents/Info.plist");
  EXPECT_FALSE(bundleInfo(dir / "folder.app"));
}

TEST_F(Identity, VerifyRefusesEachWayABundleCanBeWrong) {
  fs::path good = makeBundle(dir / "good/Kaldrith.app", "1.2");
  EXPECT_NO_THROW(verifyBundle(good, "1.2"));

  fs::path link = dir / "link.app";
  fs::create_directory_symlink(good, link);
  std::ofstream(dir / "file.app") << "not a folder";
  fs::path other = makeBundle(dir / "other/Kaldrith.app", "1.2", "com.example.other");
  fs::path noVersion = dir / "noversion/Kaldrith.app";
  makeBundle(noVersion, "");
  fs::path tampered = makeBundle(dir / "tampered/Kaldrith.app", "1.2");
  std::ofstream(tampered / "Contents/MacOS/Kaldrith", std::ios::app) << "patched\n";
  fs::path unsealed = makeBundle(dir / "unsealed/Kaldrith.app", "1.2");
  fs::remove_all(unsealed / "Contents/_CodeSignature");

  struct Case {
    fs::path bundle;
    std::string version;
    std::string message;
  } cases[] = {
      {link, "1.2", "no app bundle at " + link.string()},
      {dir / "file.app", "1.2", "no app bundle at " + (dir / "file.app").string()},
      {dir / "missing.app", "1.2", "no app bundle at " + (dir / "missing.app").string()},
      {dir / "other", "1.2", "unexpected bundle - (expected com.kaldrith.client 1.2)"},
      {other, "1.2", "unexpected bundle com.example.other 1.2 (expected com.kaldrith.client 1.2)"},
      {noVersion, "1.2",
       "unexpected bundle com.kaldrith.client  (expected com.kaldrith.client 1.2)"},
      {good, "1.2.0",
       "unexpected bundle com.kaldrith.client 1.2 (expected com.kaldrith.client 1.2.0)"},
      {tampered, "1.2",
       "signature check failed: " + tampered.string() + ": file modified: Contents/MacOS/Kaldrith"},
      {unsealed, "1.2",
       "signature check failed: " + unsealed.string() + ": code object is not signed at all"},
  };
  for (const auto& c : cases) {
    try {
      verifyBundle(c.bundle, c.version);
      ADD_FAILURE() << c.bundle << " accepted";
    } catch (const SwapError& e) {
      EXPECT_EQ(e.text, c.message);
      EXPECT_STREQ(e.what(), c.message.c_str());
    }
  }
}

}  // namespace
}  // namespace kaldra
