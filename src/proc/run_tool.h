// Running a tool to its end and collecting what it wrote. No time limit: the calling
// thread blocks until the tool and everything holding its output pipe have ended.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kaldra {

// Standard output and standard error together, interleaved as written, decoded as
// UTF-8 (bad bytes become U+FFFD) and trimmed. (-1, the system's message) when the
// program does not start.
std::pair<int, std::string> runTool(const std::string& path, const std::vector<std::string>& args);

// Standard output, byte for byte; standard error is discarded. (-1, "") when the
// program does not start.
std::pair<int, std::string> runCapture(const std::filesystem::path& program,
                                       const std::vector<std::string>& args);

// A runCapture split in two, so that the tool runs while the caller does other work.
class PendingCapture {
 public:
  static PendingCapture start(const std::filesystem::path& program,
                              const std::vector<std::string>& args);
  // Reads the tool's output to its end and waits for it: what runCapture answers.
  std::pair<int, std::string> finish();

 private:
  PendingCapture() = default;
  int pid_ = -1;
  int pipe_ = -1;
};

// `bytes` as valid UTF-8: each maximal invalid sequence becomes U+FFFD.
std::string decodeUtf8Lossy(std::string_view bytes);

// `text` without white space and line ends (ASCII and Unicode) at either end.
std::string trimWhitespace(std::string_view text);

}  // namespace kaldra
