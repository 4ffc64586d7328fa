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

// The messages of launcher.log in `logsDir`, without their time stamps.
inline std::vector<std::string> launcherLogLines(const std::filesystem::path& logsDir) {
  std::vector<std::string> lines;
  std::istringstream in(readFile(logsDir / "launcher.log"));
  for (std::string line; std::getline(in, line);)
    lines.push_back(line.size() > 26 ? line.substr(26)
                                     : line);  // after "2026-03-01 14:05:09 +0000 "
  return lines;
}

}  // namespace kaldra::testing
