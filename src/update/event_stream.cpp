#include "update/event_stream.h"

#include <cstdio>
#include <vector>

#include "platform/spawn.h"

namespace kaldra::updater {

namespace {

constexpr std::size_t kChunkSize = 64 * 1024;

// Events are flat objects. A line of nothing but brackets would cost the parser dozens
// of bytes per byte of input, so deeply nested lines are skipped before parsing.
constexpr int kMaxNesting = 32;

bool nestingWithinLimit(std::string_view line) {
  int depth = 0;
  bool inString = false, escaped = false;
  for (char c : line) {
    if (inString) {
      if (escaped)
        escaped = false;
      else if (c == '\\')
        escaped = true;
      else if (c == '"')
        inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '{' || c == '[') {
      if (++depth > kMaxNesting) return false;
    } else if (c == '}' || c == ']') {
      --depth;
    }
  }
  return true;
}

// The bytes of the line being assembled across reads, bounded by `maxLine_`.
class LineAssembler {
 public:
  LineAssembler(const EventHandlers& handlers, std::size_t maxLine)
      : handlers_(handlers), maxLine_(maxLine) {}

  void feed(std::string_view data) {
    for (auto feedAt = data.find('\n'); feedAt != std::string_view::npos;
         feedAt = data.find('\n')) {
      finishLine(data.substr(0, feedAt));
      data.remove_prefix(feedAt + 1);
    }
    keep(data);
  }

 private:
  void keep(std::string_view part) {
    if (overlong_) return;
    if (partial_.size() + part.size() > maxLine_) {
      overlong_ = true;
      // Give the memory back: the rest of this line is thrown away as it arrives.
      std::string().swap(partial_);
      return;
    }
    partial_.append(part);
  }

  void finishLine(std::string_view last) {
    if (partial_.empty() && !overlong_) {
      // The usual case: the whole line came in one read, no copy needed.
      if (last.size() <= maxLine_) dispatchEventLine(last, handlers_);
      return;
    }
    keep(last);
    if (!overlong_) dispatchEventLine(partial_, handlers_);
    partial_.clear();
    overlong_ = false;
  }

  const EventHandlers& handlers_;
  const std::size_t maxLine_;
  std::string partial_;
  bool overlong_ = false;
};

}  // namespace

void readEventStream(const ByteSource& source, const EventHandlers& handlers, std::size_t maxLine) {
  LineAssembler lines(handlers, maxLine);
  std::vector<char> chunk(kChunkSize);
  for (;;) {
    long count = source(chunk.data(), chunk.size());
    if (count <= 0) return;  // whatever is left without a line feed is no event
    lines.feed(std::string_view(chunk.data(), static_cast<std::size_t>(count)));
  }
}

void dispatchEventLine(std::string_view line, const EventHandlers& handlers) {
  // The JSON reader stops at a NUL byte; a line that holds one is not one JSON object.
  if (line.find('\0') != std::string_view::npos || !nestingWithinLimit(line)) return;
  Event event = Event::parse(line, nullptr, /*allow_exceptions=*/false);
  if (!event.is_object()) return;
  auto type = stringMember(event, "type");
  if (!type) return;
  if (auto handler = handlers.find(*type); handler != handlers.end() && handler->second)
    handler->second(event);
}

ByteSource pipeSource(int fd) {
  return [fd](char* buffer, std::size_t size) { return platform::readSome(fd, buffer, size); };
}

std::optional<std::string> stringMember(const Event& event, std::string_view key) {
  auto member = event.find(key);
  if (member == event.end() || !member->is_string()) return std::nullopt;
  return member->get<std::string>();
}

std::optional<double> numberMember(const Event& event, std::string_view key) {
  auto member = event.find(key);
  if (member == event.end() || !member->is_number()) return std::nullopt;
  return member->get<double>();
}

std::string byteCountText(double done, double total) {
  // Under a megabyte in all, megabytes would read "0 / 0 MB": kilobytes then.
  bool small = total < 1e6;
  const char* format = small ? "%.0f / %.0f KB" : "%.0f / %.0f MB";
  double unit = small ? 1e3 : 1e6;
  int length = std::snprintf(nullptr, 0, format, done / unit, total / unit);
  std::string text(static_cast<std::size_t>(length), '\0');
  std::snprintf(text.data(), text.size() + 1, format, done / unit, total / unit);
  return text;
}

}  // namespace kaldra::updater
