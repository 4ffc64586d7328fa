// Test helpers: game files written to a folder and published there as a channel.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "tests/support/log_file.h"
#include "updater/channel/chunk_list.h"
#include "updater/channel/publish.h"
#include "updater/channel/signature.h"
#include "updater/game/game_folder.h"

namespace kaldra::update::testing {

using kaldra::testing::readFile;

inline void writeFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

// The build's private publisher key, whose public half the tool trusts.
inline std::string buildSigningKey() {
  return readFile(KALDRA_SIGNING_KEY);
}

// Writes `files` below `folder` and publishes them there with the build's key, no patches.
inline Manifest publishChannel(const std::filesystem::path& folder,
                               const std::map<std::string, std::string>& files,
                               const std::string& version = "1.0", unsigned expiresDays = 30,
                               Layout layout = Layout::wholeFiles) {
  for (const auto& [path, content] : files) writeFile(folder / path, content);
  return publishFolder({.folder = folder,
                        .version = version,
                        .privateKeyPem = buildSigningKey(),
                        .threads = 2,
                        .expiresDays = expiresDays,
                        .layout = layout,
                        .patches = false})
      .manifest;
}

// The chunk store's objects, by their paths in the channel.
inline std::set<std::string> storeObjects(const std::filesystem::path& channel) {
  std::set<std::string> objects;
  if (std::filesystem::exists(channel / kStoreFolder))
    for (const auto& entry : std::filesystem::recursive_directory_iterator(channel / kStoreFolder))
      if (entry.is_regular_file())
        objects.insert(entry.path().lexically_relative(channel).generic_string());
  return objects;
}

// Signs the channel's manifest as it is now, so that even a damaged one reaches the parser.
inline void signManifest(const std::filesystem::path& folder) {
  writeFile(folder / signatureFileName(kManifestName),
            signBytes(readFile(folder / kManifestName), buildSigningKey()));
}

// The downloads waiting in the game folder's partial folder.
inline std::size_t partialFileCount(const std::filesystem::path& root) {
  std::error_code ignored;
  std::size_t count = 0;
  for (std::filesystem::directory_iterator it(partialDir(root), ignored), end;
       !ignored && it != end; it.increment(ignored))
    ++count;
  return count;
}

// Each line of an event stream parsed; a line that is no JSON object fails the test.
inline std::vector<nlohmann::json> parseEvents(const std::string& stream) {
  std::vector<nlohmann::json> events;
  EXPECT_TRUE(stream.empty() || stream.back() == '\n') << stream;
  std::istringstream lines(stream);
  for (std::string line; std::getline(lines, line);) {
    auto event = nlohmann::json::parse(line, nullptr, false);
    EXPECT_TRUE(event.is_object()) << line;
    events.push_back(event);
  }
  return events;
}

}  // namespace kaldra::update::testing
