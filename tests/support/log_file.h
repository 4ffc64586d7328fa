// Reading what a run left behind: whole files, and the launcher log's messages.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kaldra::testing {

inline std::string readFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// launcher.log's messages without time stamps; continuation lines are entries of their own.
inline std::vector<std::string> launcherLogLines(const std::filesystem::path& logsDir) {
  std::vector<std::string> messages;
  for (auto& line : linesOf(readFile(logsDir / "launcher.log"))) {
    // "2026-03-01 14:05:09 +0000 " is 26 characters.
    bool stamped = line.size() >= 26 && line[4] == '-' && line[19] == ' ' && line[20] == '+';
    messages.push_back(stamped ? line.substr(26) : line);
  }
  return messages;
}

}  // namespace kaldra::testing
