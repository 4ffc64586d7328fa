// Reading small files whole, and writes that survive a crash or a power cut whole or not
// at all.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace kaldra::update {

// Replaces `path` with `bytes`: a temporary file beside it, flushed to the disk, renamed
// over the old one, and the folder flushed. Throws UpdateError (disk) on any failure and
// leaves the old file as it was.
void writeFileDurably(const std::filesystem::path& path, std::string_view bytes);

// Writes all of `bytes` to `fd`; false with errno set when that fails.
bool writeAll(int fd, std::string_view bytes);

// Reads up to `size` bytes at `offset` of `fd` into `bytes` (fewer at the end of the file);
// false with errno set when that fails.
bool readAt(int fd, std::uint64_t offset, std::size_t size, std::string& bytes);

// Flushes a folder's entries (renames and new files in it) to the disk. Throws
// UpdateError (disk).
void syncDirectory(const std::filesystem::path& folder);

// Creates `folder` and its missing parents. Throws UpdateError (disk), for instance when
// a part of the path is a regular file.
void makeDirectories(const std::filesystem::path& folder);

// The bytes an unprivileged writer may still put on the disk that holds `path`; nothing
// when it cannot be asked.
std::optional<std::uint64_t> freeBytes(const std::filesystem::path& path);

// The whole content of the regular file at `path`; nothing when it cannot be read or is
// anything else (a FIFO is never waited on), with the reason in `*error` when given.
std::optional<std::string> readFile(const std::filesystem::path& path,
                                    std::string* error = nullptr);

}  // namespace kaldra::update
