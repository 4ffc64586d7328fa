#include "updater/signature.h"

#include <gtest/gtest.h>

#include <cctype>

#include "updater/failure.h"
#include "updater/test_files.h"

namespace kaldra::update {
namespace {

TEST(Signature, OnlyTheExactBytesSignedWithTheTrustedKeyMatch) {
  const std::string key = testing::buildSigningKey();
  const std::string bytes = "{\"version\": \"1.0\", \"files\": []}\n";
  const std::string signature = signBytes(bytes, key);
  std::string flipped = signature, upper = signature;
  flipped[10] = flipped[10] == '0' ? '1' : '0';
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

  struct Case {
    const char* what;
    std::string bytes, signature;
    bool matches;
  } cases[] = {
      {"blanks and capitals", bytes, "  " + upper + "\r\n", true},
      {"one digit changed", bytes, flipped, false},
      {"cut short", bytes, signature.substr(0, 100), false},
      {"not hexadecimal", bytes, std::string(128, 'g'), false},
      {"twice", bytes, signature + signature, false},
  };
  for (const auto& c : cases)
    EXPECT_EQ(signatureMatches(c.bytes, c.signature, builtInPublicKey()), c.matches) << c.what;
  EXPECT_THROW(signBytes(bytes, "not a key"), UpdateError);
}

}  // namespace
}  // namespace kaldra::update
