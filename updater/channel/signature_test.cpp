#include "updater/channel/signature.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cctype>
#include <cstdlib>

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
}

// The build's key maker, as anyone on a shared machine would watch it: even under a umask
// of 0, the key and its new folder are its owner's alone.
TEST(Signature, KeyMakerWritesTheKeyForItsOwnerOnly) {
  kaldra::testing::TempDir temp;
  mode_t previous = ::umask(0);
  auto made = testing::runTool({(temp / "signing/key.pem").string(), (temp / "key.inc").string()},
                               {}, KALDRA_KEYGEN_PATH);
  ::umask(previous);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(fs::status(temp / "signing").permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(temp / "signing/key.pem").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(std::distance(fs::directory_iterator(temp / "signing"), {}), 1);
}

}  // namespace
}  // namespace kaldra::update
