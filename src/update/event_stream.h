// The updater tool's event stream: one JSON object per line on its standard output,
// dispatched by its "type". Every reader of the tool ("prepare", "xplat-fetch") goes
// through here, so broken, foreign and over-long lines are treated alike everywhere.
//
//   EventHandlers handlers{{"progress", [&](const Event& e) { show(e); }}};
//   readEventStream(pipeSource(child.pipe.get()), handlers);
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

namespace kaldra::updater {

using Event = nlohmann::json;
using EventHandler = std::function<void(const Event& event)>;
using EventHandlers = std::map<std::string, EventHandler, std::less<>>;

// Fills `buffer` with at most `size` bytes: the count, 0 at the end of the stream. A
// negative count (a read error) also ends the stream.
using ByteSource = std::function<long(char* buffer, std::size_t size)>;

// The longest line that is handled. Events are a few hundred bytes; a longer line is
// skipped up to its line feed, so a runaway tool cannot make the reader grow without end.
inline constexpr std::size_t kMaxEventLine = std::size_t{1} << 20;

// Reads `source` to its end, handling each complete line as it arrives: a JSON object
// with a string "type" that has a handler goes to that handler, on the calling thread,
// before the next byte is read. Every other line, and the bytes after the last line
// feed, are skipped silently.
void readEventStream(const ByteSource& source, const EventHandlers& handlers,
                     std::size_t maxLine = kMaxEventLine);

// Handles one line (without its line feed) as readEventStream does.
void dispatchEventLine(std::string_view line, const EventHandlers& handlers);

// The read end of a pipe as a byte source. The descriptor stays the caller's.
ByteSource pipeSource(int fd);

// A member of an event: no value when it is absent or of another JSON type. Numbers may
// be integers or fractions.
std::optional<std::string> stringMember(const Event& event, std::string_view key);
std::optional<double> numberMember(const Event& event, std::string_view key);

// Downloaded and total bytes in decimal megabytes, rounded: "1 / 3 MB"; in kilobytes when
// the total is under a megabyte: "400 / 900 KB".
std::string byteCountText(double done, double total);

}  // namespace kaldra::updater
