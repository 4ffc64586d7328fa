// Whether the system may end this process on its own, idle or at log-out, without
// asking it first.
#pragma once

#include <string_view>

namespace kaldra::platform {

// From now on the system must neither end this process automatically (`reason` tells
// the user why) nor suddenly. There is no way back.
void disableAutomaticAndSuddenTermination(std::string_view reason);

}  // namespace kaldra::platform
