#include "platform/tool_paths.h"

namespace kaldra::platform {

// The stand-ins travel inside the bundle, so a copied bundle keeps finding them.
std::filesystem::path platformToolPath(const std::filesystem::path& resources,
                                       std::string_view name) {
  return resources / "platform" / name;
}

}  // namespace kaldra::platform
