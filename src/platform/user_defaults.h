// The application's entries in the user's settings store, which the system reads at start
// and at quit (for instance whether to restore the last run's windows).
#pragma once

#include <string_view>

namespace kaldra::platform {

// Writes the Boolean `value` under `key` in the application's standard user defaults.
// The platform side writes it at once; a system without such a store keeps nothing (it
// restores no windows between runs anyway). Failures are ignored. Any thread, before
// the application object exists.
void setUserDefault(std::string_view key, bool value);

}  // namespace kaldra::platform
