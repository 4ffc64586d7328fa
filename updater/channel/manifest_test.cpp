#include "updater/channel/manifest.h"

#include <gtest/gtest.h>

#include "updater/base/failure.h"

namespace kaldra::update {
namespace {

const std::string kDigest(64, 'a');

std::string manifestWith(const std::string& entry) {
  return R"({"version": "2.1", "files": [)" + entry + "]}";
}

std::string entry(const std::string& path, const std::string& size = "3",
                  const std::string& digest = kDigest) {
  return R"({"path": ")" + path + R"(", "size": )" + size + R"(, "sha256": ")" + digest + "\"}";
}

TEST(Manifest, ReadsLowerCaseDigestsAndSizesThatJustFitAndRefusesWhatIsMalformedOrUnsafe) {
  auto manifest = parseManifest(
      manifestWith(entry("data/maps/a b.map", "9223372036854775808", std::string(64, 'B')) + "," +
                   entry("data2", "9223372036854775807")));
  ASSERT_EQ(manifest.files.size(), 2u);
  EXPECT_EQ(std::tuple(manifest.version, manifest.files[0].path, manifest.files[0].sha256,
                       manifest.files[1].size),
            std::tuple("2.1", "data/maps/a b.map", std::string(64, 'b'), 9223372036854775807u));

  const std::pair<std::string, const char*> cases[] = {
      {"{\"version\": \"1\", \"files\": [", "not valid JSON"},
      {"[]", "not a JSON object"},
      {R"({"files": []})", "version"},
      {R"({"version": 1, "files": []})", "version"},
      {R"({"version": "1\n2", "files": []})", "version"},
      {R"({"version": "1", "files": {}})", "files"},
      {manifestWith("\"a\""), "files[0]"},
      {manifestWith(R"({"size": 1, "sha256": ")" + kDigest + "\"}"), "path"},
      {manifestWith(entry("a", "-1")), "size"},
      {manifestWith(entry("a", "\"3\"")), "size"},
      {manifestWith(entry("a", "3", kDigest + "a")), "sha256"},
      {manifestWith(entry("a", "3", std::string(64, 'g'))), "sha256"},
      {manifestWith(R"({"path": "a", "size": 1, "sha256": ")" + kDigest + R"(", "chunks": 1})"),
       "chunks"},
      {manifestWith(R"({"path": "a", "size": 1, "sha256": ")" + kDigest + R"(", "stored": -1})"),
       "stored"},
      {manifestWith(entry("a", "9223372036854775808") + "," + entry("b", "9223372036854775808")),
       "add up"},
      {manifestWith(entry("a") + "," + entry("a")), "listed twice"},
      {manifestWith(entry("data") + "," + entry("data/x")), "both a file"},
      {manifestWith(entry("d/e/f") + "," + entry("d/e")), "both a file"},
  };
  std::vector<std::pair<std::string, const char*>> all(std::begin(cases), std::end(cases));
  for (const char* escaping :
       {"", "/etc/passwd", "..", "../outside", "data/../../x", "a//b", "a/", "./a", "a/./b",
        "a\\\\b", ".kaldra-state.json", ".kaldra-partial/x", "a\\u0001b"})
    all.emplace_back(manifestWith(entry(escaping)), "path");
  for (const auto& [bytes, mention] : all) {
    SCOPED_TRACE(bytes);
    try {
      parseManifest(bytes);
      ADD_FAILURE() << "accepted";
    } catch (const UpdateError& error) {
      EXPECT_EQ(error.kind(), FailureKind::manifest);
      EXPECT_NE(std::string(error.what()).find(mention), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace kaldra::update
