#include "updater/channel/signature.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdlib>
#include <functional>

#include "tests/support/game_channel.h"
#include "tests/support/temp_dir.h"
#include "tests/support/tool_run.h"
#include "updater/base/failure.h"

namespace kaldra::update {
namespace {

namespace fs = std::filesystem;

// A publisher signs with the tool or with standard tools: raw bytes or their hex text.
TEST(Signature, OnlyTheTrustedKeysSignatureMatchesAsRawBytesOrTextWithBlanksOrCapitals) {
  kaldra::testing::TempDir temp;
  const std::string bytes = "{\"version\": \"1.0\", \"files\": []}\n";
  testing::writeFile(temp / "manifest.json", bytes);
  ASSERT_EQ(std::system(("openssl pkeyutl -sign -rawin -inkey " KALDRA_SIGNING_KEY " -in " +
                         (temp / "manifest.json").string() + " -out " + (temp / "raw.sig").string())
                            .c_str()),
            0);
  const std::string raw = testing::readFile(temp / "raw.sig");
  const std::string signature = signBytes(bytes, testing::buildSigningKey());
  std::string flipped = signature, upper = signature, rawFlipped = raw;
  flipped[10] = flipped[10] == '0' ? '1' : '0';
  rawFlipped[10] ^= 1;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::pair<std::string, bool> cases[] = {
      {"  " + upper + "\r\n", true},
      {flipped, false},
      {signature.substr(0, 100), false},
      {std::string(128, 'g'), false},
      {signature + signature, false},
      {raw, true},
      {rawFlipped, false},
      {raw + "\n", false},
  };
  for (const auto& [text, matches] : cases)
    EXPECT_EQ(signatureMatches(bytes, text, builtInPublicKey()), matches) << text;
  EXPECT_THROW(signBytes(bytes, "not a key"), UpdateError);
  // While a rotation is under way two keys are trusted: either one's signature is enough.
  const auto other = publicKeyOf(generatePrivateKeyPem());
  EXPECT_NO_THROW(requireSignature(bytes, signature, {other, builtInPublicKey()}, "manifest"));
  EXPECT_THROW(requireSignature(bytes, flipped, {other, builtInPublicKey()}, "manifest"),
               UpdateError);
}

// The build's key maker keeps a key it finds; the publisher's "keygen" never writes over
// anything. Both make folder and file for the owner alone, whatever the umask.
TEST(Signature, KeyMakersWriteTheKeyForItsOwnerOnly) {
  kaldra::testing::TempDir temp;
  auto buildHelper = [&](const fs::path& key) {
    return testing::runTool({key.string(), (temp / "key.inc").string()}, {}, KALDRA_KEYGEN_PATH);
  };
  auto keygen = [](const fs::path& key) { return testing::runTool({"keygen", key.string()}); };
  for (const auto& [make, again] :
       {std::pair{std::function(buildHelper), 0}, {std::function(keygen), 1}}) {
    auto key = temp / ("made-" + std::to_string(again)) / "signing/key.pem";
    mode_t previous = ::umask(0);
    auto made = make(key);
    ::umask(previous);
    ASSERT_EQ(made.status, 0) << made.err;
    EXPECT_EQ(fs::status(key.parent_path()).permissions(), fs::perms::owner_all);
    EXPECT_EQ(fs::status(key).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(key.parent_path()), {}), 1);
    auto pem = testing::readFile(key);
    EXPECT_EQ(make(key).status, again);
    EXPECT_EQ(testing::readFile(key), pem);
  }
}

}  // namespace
}  // namespace kaldra::update
