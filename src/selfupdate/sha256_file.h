// The SHA-256 digest of a file, read in 1 MiB chunks.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace kaldra {

// 64 lower-case hexadecimal digits; no value when the file cannot be opened or read.
std::optional<std::string> sha256File(const std::filesystem::path& path);

}  // namespace kaldra
