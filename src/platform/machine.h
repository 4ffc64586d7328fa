// Facts about the machine's processor.
#pragma once

#include <string>

namespace kaldra::platform {

// True when the machine's processor is an ARM64 one (the platform's "Apple silicon"
// test); false for any other machine, and when the machine cannot be asked.
bool isArm64Machine();

// True where the system installs the x86_64 translation layer when it is asked to open an
// x86_64-only application (the platform does, after asking the user); false where nothing
// can install it, so that waiting for it would be in vain. Any thread.
bool canInstallX86Translation();

}  // namespace kaldra::platform
