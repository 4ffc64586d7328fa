#include "selfupdate/declined_marker.h"

#include <fstream>
#include <sstream>

#include "platform/file_io.h"

namespace kaldra {

std::vector<std::string> readDeclined(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
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
