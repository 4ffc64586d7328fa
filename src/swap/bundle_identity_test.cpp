#include "swap/bundle_identity.h"

#include <gtest/gtest.h>

#include "swap/swap_error.h"
#include "tests/support/swap_sandbox.h"

namespace kaldra {
namespace {

TEST(Versions, Comparison) {
  struct Case {
    const char* a;
    const char* b;
    int expected;
  } cases[] = {{"1.10", "1.9", 1}, {"2.0", "2", 0},      {"1.2.3-rc1", "1.2.3", 0},
               {"1.a", "1.0", 0},  {"1.0", "1.0.1", -1}, {"0.0.1", "", 1}};
  for (const auto& c : cases) {
    EXPECT_EQ(cmpVersion(c.a, c.b), c.expected) << c.a << " vs " << c.b;
    EXPECT_EQ(cmpVersion(c.b, c.a), -c.expected) << c.b << " vs " << c.a;
  }
}

class Identity : public testing::SwapSandbox {};

TEST_F(Identity, VerifyRefusesEachWayABundleCanBeWrong) {
  fs::path good = makeBundle(dir / "good/Kaldrith.app", "1.2");
  EXPECT_NO_THROW(verifyBundle(good, "1.2"));
  fs::path other = makeBundle(dir / "other/Kaldrith.app", "1.2", "com.example.other");
  fs::path tampered = makeBundle(dir / "tampered/Kaldrith.app", "1.2");
  std::ofstream(tampered / "Contents/MacOS/Kaldrith", std::ios::app) << "patched\n";
  struct Case {
    fs::path bundle;
    std::string version, message;
  } cases[] = {
      {other, "1.2", "unexpected bundle com.example.other 1.2 (expected com.kaldrith.client 1.2)"},
      {good, "1.2.0",
       "unexpected bundle com.kaldrith.client 1.2 (expected com.kaldrith.client 1.2.0)"},
      {tampered, "1.2",
       "signature check failed: " + tampered.string() + ": file modified: Contents/MacOS/Kaldrith"},
  };
  for (const auto& c : cases) {
    try {
      verifyBundle(c.bundle, c.version);
      ADD_FAILURE() << c.bundle << " accepted";
    } catch (const SwapError& e) {
      EXPECT_EQ(e.text, c.message);
    }
  }
}

}  // namespace
}  // namespace kaldra
