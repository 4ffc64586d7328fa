// The channel's list of game files: what the game folder must hold.
//
//   {"version": "1.0.3", "sequence": 1765113600, "expires": "2027-01-06T12:00:00Z",
//    "files": [{"path": "kaldrith.exe", "size": 123, "sha256": "9f86d0...",
//               "chunks": "2c26b4..."}, ...]}
//
// "chunks", where given, names the file's chunk list in the channel's store (chunk_list.h);
// the signature over the manifest covers it. A file without one is fetched whole, by its
// path.
//
// Paths are relative, "/"-separated, and stay inside the game folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "updater/channel/freshness.h"

namespace kaldra::update {

// The start of the tool's own names in the game folder, which no game file may use.
inline constexpr std::string_view kReservedPrefix = ".kaldra-";

// Its name in the channel's folder.
inline constexpr std::string_view kManifestName = "manifest.json";

struct ManifestFile {
  std::string path;
  std::uint64_t size = 0;
  std::string sha256;  // 64 lower-case hexadecimal digits
  std::string chunks;  // the chunk list's SHA-256, or empty
  // With chunks: the bytes of its chunks as the store holds them (fewer where zstd helps).
  std::optional<std::uint64_t> stored;
};

// Whether the store keeps the file whole too, by its SHA-256: where zstd makes none of it
// smaller, so that a player with nothing of it fetches it in one piece. Elsewhere its chunks,
// compressed, are the only copy.
inline bool storedWhole(const ManifestFile& file) {
  return file.stored && *file.stored >= file.size;
}

struct Manifest {
  std::string version;
  std::vector<ManifestFile> files;
  Freshness freshness;
};

// Throws UpdateError (manifest) naming the first fault: not JSON, a missing or mistyped
// member, a malformed digest, an unsafe or repeated path, a file that is also a folder,
// sizes whose total does not fit in 64 bits.
Manifest parseManifest(std::string_view bytes);

// The manifest in `file`; none when it is missing, unreadable or damaged.
std::optional<Manifest> readManifest(const std::filesystem::path& file);

// Only the manifest's sequence and expiry, without its list of files; throws as
// parseManifest does for those.
Freshness manifestFreshness(std::string_view bytes);

// The manifest as JSON text that parseManifest reads back.
std::string manifestJson(const Manifest& manifest);

// A SHA-256 digest of 64 hexadecimal digits in lower case; empty when `text` is none.
std::string lowerHexDigest(std::string_view text);

// Why `path` cannot name a game file (absolute, empty or "."/".." components, a
// backslash, a control character, the tool's own names); empty when it can.
std::string pathProblem(std::string_view path);

}  // namespace kaldra::update
