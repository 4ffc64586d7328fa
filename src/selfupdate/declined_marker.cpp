#include "selfupdate/declined_marker.h"

#include <sstream>

#include "platform/file_io.h"

namespace kaldra {

std::vector<std::string> readDeclined(const std::filesystem::path& file) {
  // Read as a regular file only: anything else at its place would hold up the start.
  std::istringstream in(platform::readWholeFile(file.string()).value_or(""));
  std::vector<std::string> entries;
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) entries.push_back(line);
  }
  return entries;
}

std::vector<std::string> withDeclined(std::vector<std::string> entries, const std::string& key) {
  if (entries.size() >= kMaxDeclined)
    entries.erase(entries.begin(), entries.end() - (kMaxDeclined - 1));
  entries.push_back(key);
  return entries;
}

bool writeDeclined(const std::filesystem::path& file, const std::vector<std::string>& entries) {
  std::string text;
  for (const auto& entry : entries) text += entry + "\n";
  return platform::writeFileAtomically(file.string(), text);
}

}  // namespace kaldra
