// Is the game running from the game folder? A process counts when it runs game code from
// there: its executable, or a file it has mapped (the game's own program under Wine, a
// library), lies inside the folder. A shell or file browser that merely has the folder
// open does not count.
#pragma once

#include <filesystem>
#include <set>
#include <vector>

namespace kaldra::update {

// The ids of the processes, except those in `leaveOut`, whose executable or one of whose
// mapped files lies below `folder` (symbolic links resolved on both sides; a sibling
// whose name merely begins like `folder` does not count). Processes this user may not
// inspect are not seen. Empty when `folder` does not exist.
std::vector<int> processesInside(const std::filesystem::path& folder,
                                 const std::set<int>& leaveOut);

// This process and every process it descends from: whoever started the tool is not the
// game, wherever it runs from.
std::set<int> selfAndAncestors();

}  // namespace kaldra::update
