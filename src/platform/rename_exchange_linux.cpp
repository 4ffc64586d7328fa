#include "platform/rename_exchange.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>

namespace kaldra::platform {

static int renameWith(const std::string& from, const std::string& to, unsigned flags) {
  return ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), flags) == 0 ? 0 : errno;
}

int exchangeEntries(const std::string& a, const std::string& b) {
  return renameWith(a, b, RENAME_EXCHANGE);
}

int moveToFreePath(const std::string& from, const std::string& to) {
  return renameWith(from, to, RENAME_NOREPLACE);
}

}  // namespace kaldra::platform
