#include "platform/machine.h"

#include <sys/utsname.h>

#include <string_view>

namespace kaldra::platform {

bool isArm64Machine() {
  utsname names{};
  if (uname(&names) != 0) return false;
  std::string_view machine = names.machine;
  return machine == "aarch64" || machine == "arm64";
}

}  // namespace kaldra::platform
