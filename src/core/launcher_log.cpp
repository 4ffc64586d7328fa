#include "core/launcher_log.h"

#include <system_error>

#include "core/config.h"
#include "platform/file_io.h"

namespace kaldra {

std::string logTimestamp(std::time_t when) {
  std::tm utc{};
  gmtime_r(&when, &utc);
  char buffer[64];
  std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S +0000", &utc);
  return buffer;
}

void log(std::string_view message) {
  std::error_code ignored;
  fs::create_directories(cfg.logsDir, ignored);
  std::string line = logTimestamp(std::time(nullptr));
  line += ' ';
  line += message;
  line += '\n';
  // Appending (and creating when missing) in one write keeps every line of concurrent
  // writers, where writing a fresh file would replace what another process just wrote.
  platform::appendToFile(cfg.logsDir / "launcher.log", line);
}

}  // namespace kaldra
