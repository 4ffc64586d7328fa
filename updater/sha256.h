// SHA-256 digests, as 64 lower-case hexadecimal digits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace kaldra::update {

// An incremental digest. Not thread-safe; one per stream.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void update(const void* data, std::size_t size);
  void update(std::string_view bytes) { update(bytes.data(), bytes.size()); }
  // The digest of everything fed so far. The object is spent afterwards.
  std::string finishHex();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

std::string sha256Hex(std::string_view bytes);

// The digest of the file's content and the number of bytes read. Throws UpdateError
// (disk) when the file cannot be opened or read.
struct FileDigest {
  std::string sha256;
  std::uint64_t size = 0;
};
FileDigest hashFile(const std::filesystem::path& path);

}  // namespace kaldra::update
