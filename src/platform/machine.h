// Facts about the machine's processor.
#pragma once

#include <string>

namespace kaldra::platform {

// True when the machine's processor is an ARM64 one (the platform's "Apple silicon"
// test); false for any other machine, and when the machine cannot be asked.
bool isArm64Machine();

}  // namespace kaldra::platform
