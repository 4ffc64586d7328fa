#include "updater/signature.h"

#include <gtest/gtest.h>

#include <cctype>

#include "tests/support/game_channel.h"
#include "updater/failure.h"

namespace kaldra::update {
namespace {

TEST(Signature, OnlyTheTrustedKeysSignatureMatchesWrittenWithBlanksOrCapitals) {
  const std::string bytes = "{\"version\": \"1.0\", \"files\": []}\n";
  const std::string signature = signBytes(bytes, testing::buildSigningKey());
  std::string flipped = signature, upper = signature;
  flipped[10] = flipped[10] == '0' ? '1' : '0';
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::pair<std::string, bool> cases[] = {
      {"  " + upper + "\r\n", true},     {flipped, false},
      {signature.substr(0, 100), false}, {std::string(128, 'g'), false},
      {signature + signature, false},
  };
  for (const auto& [text, matches] : cases)
    EXPECT_EQ(signatureMatches(bytes, text, builtInPublicKey()), matches) << text;
  EXPECT_THROW(signBytes(bytes, "not a key"), UpdateError);
}

}  // namespace
}  // namespace kaldra::update
