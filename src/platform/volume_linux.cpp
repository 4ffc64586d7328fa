#include "platform/volume.h"

#include <sys/stat.h>

namespace kaldra::platform {

std::optional<std::int32_t> deviceNumber(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  // The platform's device numbers are 32 bits wide; Linux packs major and minor into
  // the low 32 bits for every device number in practical use.
  return static_cast<std::int32_t>(status.st_dev);
}

}  // namespace kaldra::platform
