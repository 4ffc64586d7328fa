#include "platform/user_defaults.h"

namespace kaldra::platform {

// Linux desktops restore no application's windows on their own: nothing to keep.
void setUserDefault(std::string_view, bool) {}

}  // namespace kaldra::platform
