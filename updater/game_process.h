// Is the game running from the game folder? The game's start script changes into the game
// folder before starting it, so a running game shows as a process whose working folder
// (or executable) lies inside that folder.
#pragma once

#include <filesystem>
#include <vector>

namespace kaldra::update {

// The ids of the processes, except `leaveOut`, whose executable or working folder is
// `folder` or lies below it (symbolic links resolved on both sides; a sibling whose name
// merely begins like `folder` does not count). Processes this user may not inspect are
// not seen. Empty when `folder` does not exist.
std::vector<int> processesInside(const std::filesystem::path& folder, int leaveOut);

}  // namespace kaldra::update
