#include "proc/run_tool.h"

#include "platform/spawn.h"

#include <utility>

namespace kaldra {

namespace {

struct Finished {
  bool started = false;
  int status = -1;
  std::string bytes;  // the output, or the start error's description
};

// Standard output and standard error share one pipe, interleaved as the tool writes.
Finished runInterleaved(const std::string& program, const std::vector<std::string>& args) {
  platform::Spawned child = platform::spawnProcess({.program = program,
                                                    .args = args,
                                                    .out = platform::Output::pipe(),
                                                    .err = platform::Output::pipe()});
  if (child.pid < 0) return {false, -1, child.error};
  // Read to the end first: a tool that fills the pipe would never exit otherwise.
  std::string bytes = platform::readAll(child.pipe.get());
  child.pipe.reset();
  return {true, platform::waitForExit(child.pid), std::move(bytes)};
}

// The shape of a UTF-8 sequence by its lead byte: its length and the range its second
// byte must fall in (narrower than 80..BF where overlong forms or surrogates lurk).
struct LeadShape {
  size_t length = 0;  // 0: not a lead byte
  unsigned char low = 0x80, high = 0xBF;
};

LeadShape shapeOf(unsigned char lead) {
  if (lead < 0x80) return {1};
  if (lead >= 0xC2 && lead <= 0xDF) return {2};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};
  if (lead >= 0xE1 && lead <= 0xEF) return {3};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};
  if (lead >= 0xF1 && lead <= 0xF3) return {4};
  return {};
}

// How many bytes at the start of `s` belong to one sequence: all of a valid one, or
// the maximal part of an invalid one (at least 1). `valid` tells which.
size_t sequenceLength(std::string_view s, bool& valid) {
  auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  LeadShape shape = shapeOf(byte(0));
  valid = false;
  if (shape.length == 0) return 1;
  size_t i = 1;
  if (i < shape.length && i < s.size() && byte(1) >= shape.low && byte(1) <= shape.high)
    ++i;
  else if (shape.length > 1)
    return 1;
  while (i < shape.length && i < s.size() && byte(i) >= 0x80 && byte(i) <= 0xBF) ++i;
  valid = (i == shape.length);
  return i;
}

bool isUnicodeSpaceAt(std::string_view s, size_t i, size_t length) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(s[i + k]); };
  if (length == 1) return b(0) == ' ' || (b(0) >= 0x09 && b(0) <= 0x0D);
  if (length == 2) return b(0) == 0xC2 && (b(1) == 0x85 || b(1) == 0xA0);
  if (length == 3) {
    if (b(0) == 0xE1 && b(1) == 0x9A && b(2) == 0x80) return true;  // U+1680
    if (b(0) == 0xE2 && b(1) == 0x80 &&
        (b(2) <= 0x8A || b(2) == 0xA8 || b(2) == 0xA9 || b(2) == 0xAF))
      return true;  // U+2000..200A, 2028, 2029, 202F
    if (b(0) == 0xE2 && b(1) == 0x81 && b(2) == 0x9F) return true;  // U+205F
    if (b(0) == 0xE3 && b(1) == 0x80 && b(2) == 0x80) return true;  // U+3000
  }
  return false;
}

}  // namespace

std::pair<int, std::string> runTool(const std::string& path, const std::vector<std::string>& args) {
  Finished done = runInterleaved(path, args);
  if (!done.started) return {-1, done.bytes};  // the start error's message, untrimmed
  return {done.status, trimWhitespace(decodeUtf8Lossy(done.bytes))};
}

std::pair<int, std::string> runCapture(const std::filesystem::path& program,
                                       const std::vector<std::string>& args) {
  return PendingCapture::start(program, args).finish();
}

PendingCapture PendingCapture::start(const std::filesystem::path& program,
                                     const std::vector<std::string>& args) {
  platform::Spawned child = platform::spawnProcess({.program = program,
                                                    .args = args,
                                                    .out = platform::Output::pipe(),
                                                    .err = platform::Output::null()});
  PendingCapture pending;
  pending.pid_ = child.pid;
  pending.pipe_ = child.pipe.release();
  return pending;
}

std::pair<int, std::string> PendingCapture::finish() {
  if (pid_ < 0) return {-1, ""};
  platform::UniqueFd pipe(std::exchange(pipe_, -1));
  std::string bytes = platform::readAll(pipe.get());
  pipe.reset();
  return {platform::waitForExit(std::exchange(pid_, -1)), std::move(bytes)};
}

std::string decodeUtf8Lossy(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    bool valid = false;
    size_t length = sequenceLength(bytes, valid);
    if (valid)
      text.append(bytes.substr(0, length));
    else
      text += "\xEF\xBF\xBD";
    bytes.remove_prefix(length);
  }
  return text;
}

std::string trimWhitespace(std::string_view text) {
  // `text` is valid UTF-8 here; white space is at most three bytes long.
  auto spaceEndingAt = [&](size_t end) -> size_t {
    for (size_t length = 1; length <= 3 && length <= end; ++length)
      if (isUnicodeSpaceAt(text, end - length, length)) return length;
    return 0;
  };
  auto spaceStartingAt = [&](size_t start) -> size_t {
    for (size_t length = 1; length <= 3 && start + length <= text.size(); ++length)
      if (isUnicodeSpaceAt(text, start, length)) return length;
    return 0;
  };
  size_t start = 0, end = text.size();
  while (start < end) {
    size_t n = spaceStartingAt(start);
    if (n == 0) break;
    start += n;
  }
  while (end > start) {
    size_t n = spaceEndingAt(end);
    if (n == 0) break;
    end -= n;
  }
  return std::string(text.substr(start, end - start));
}

}  // namespace kaldra
