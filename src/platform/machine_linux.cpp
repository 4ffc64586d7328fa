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

// An x86_64 emulator is registered by the administrator (binfmt_misc), never on request.
bool canInstallX86Translation() {
  return false;
}

}  // namespace kaldra::platform
