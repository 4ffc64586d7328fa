#include "platform/writable.h"

#include <unistd.h>

namespace kaldra::platform {

bool isWritable(const std::filesystem::path& path) {
  return ::access(path.c_str(), W_OK) == 0;
}

}  // namespace kaldra::platform
