#include "updater/manifest.h"

#include <gtest/gtest.h>

#include "updater/failure.h"

namespace kaldra::update {
namespace {

const std::string kDigest(64, 'a');

std::string manifestWith(const std::string& entry) {
  return R"({"version": "2.1", "files": [)" + entry + "]}";
}

std::string entry(const std::string& path, const std::string& size = "3",
                  const std::string& digest = "\"" + kDigest + "\"") {
  return R"({"path": ")" + path + R"(", "size": )" + size + R"(, "sha256": )" + digest + "}";
}

void expectManifestFault(const std::string& bytes, const std::string& mention) {
  try {
    parseManifest(bytes);
    ADD_FAILURE() << "accepted: " << bytes;
  } catch (const UpdateError& error) {
    EXPECT_EQ(error.kind(), FailureKind::manifest);
    EXPECT_NE(std::string(error.what()).find(mention), std::string::npos) << error.what();
  }
}

TEST(Manifest, ReadsVersionAndFilesAndNormalisesTheDigest) {
  std::string upper(64, 'B');
  auto manifest = parseManifest(manifestWith(entry("kaldrith.exe", "12") + "," +
                                             entry("data/maps/a b.map", "0", "\"" + upper + "\"")));
  EXPECT_EQ(manifest.version, "2.1");
  ASSERT_EQ(manifest.files.size(), 2u);
  EXPECT_EQ(manifest.files[0].path, "kaldrith.exe");
  EXPECT_EQ(manifest.files[0].size, 12u);
  EXPECT_EQ(manifest.files[1].path, "data/maps/a b.map");
  EXPECT_EQ(manifest.files[1].sha256, std::string(64, 'b'));
}

TEST(Manifest, MalformedDocumentsAreManifestErrors) {
  expectManifestFault("", "not valid JSON");
  expectManifestFault("{\"version\": \"1\", \"files\": [", "not valid JSON");
  expectManifestFault("[]", "not a JSON object");
  expectManifestFault(R"({"files": []})", "version");
  expectManifestFault(R"({"version": 1, "files": []})", "version");
  expectManifestFault(R"({"version": "1\n2", "files": []})", "version");
  expectManifestFault(R"({"version": "1", "files": {}})", "files");
  expectManifestFault(manifestWith("\"a\""), "files[0]");
  expectManifestFault(manifestWith(R"({"size": 1, "sha256": ")" + kDigest + "\"}"), "path");
  expectManifestFault(manifestWith(entry("a", "-1")), "size");
  expectManifestFault(manifestWith(entry("a", "1.5")), "size");
  expectManifestFault(manifestWith(entry("a", "\"3\"")), "size");
  expectManifestFault(manifestWith(entry("a", "3", "\"abc\"")), "sha256");
  expectManifestFault(manifestWith(entry("a", "3", "\"" + std::string(64, 'g') + "\"")), "sha256");
  expectManifestFault(
      manifestWith(entry("a", "9223372036854775808") + "," + entry("b", "9223372036854775808")),
      "add up");
  EXPECT_NO_THROW(parseManifest(
      manifestWith(entry("a", "9223372036854775808") + "," + entry("b", "9223372036854775807"))));
}

TEST(Manifest, PathsThatEscapeTheGameFolderAreRefused) {
  for (const char* bad :
       {"", "/etc/passwd", "..", "../outside", "data/../../x", "a//b", "a/", "./a", "a/./b",
        "a\\\\b", ".kaldra-state.json", ".kaldra-partial/x", "a\\u0001b"}) {
    expectManifestFault(manifestWith(entry(bad)), "path");
  }
}

TEST(Manifest, EachPathOnceAndNeverBothFileAndFolder) {
  expectManifestFault(manifestWith(entry("a") + "," + entry("a")), "listed twice");
  expectManifestFault(manifestWith(entry("data") + "," + entry("data/x")), "both a file");
  expectManifestFault(manifestWith(entry("d/e/f") + "," + entry("d/e")), "both a file");
  EXPECT_NO_THROW(parseManifest(manifestWith(entry("data/x") + "," + entry("data2"))));
}

}  // namespace
}  // namespace kaldra::update
