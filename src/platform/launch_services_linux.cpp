#include "platform/launch_services.h"

namespace kaldra::platform {

void registerApplication(const std::filesystem::path&) {}

}  // namespace kaldra::platform
