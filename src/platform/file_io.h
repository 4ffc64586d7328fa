// File writes that other processes may race with.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kaldra::platform {

// All bytes of the regular file at `path`; no value when it cannot be read or is
// something else (a folder, a pipe that might never end).
std::optional<std::string> readWholeFile(const std::string& path);

// Appends `bytes` with one write to the file at `path`, creating it (mode 0644) when it
// is missing. Concurrent appenders never overwrite each other. False on any failure.
bool appendToFile(const std::string& path, std::string_view bytes);

// Replaces the file at `path` with `bytes` through a temporary file in the same folder
// and a rename, so readers see the old content or the new one, never a mix. The
// temporary file has `mode` from its creation on, before any byte is in it, whatever
// the umask. False on any failure; the old file is then untouched.
bool writeFileAtomically(const std::string& path, std::string_view bytes, unsigned mode = 0644);

}  // namespace kaldra::platform
