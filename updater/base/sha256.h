// SHA-256 digests, as 64 lower-case hexadecimal digits.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

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

// A digest computed on a thread of its own, so that hashing a long stream overlaps with
// receiving and writing it. The bytes are copied into blocks; the thread starts with the
// second block, so a short stream is hashed on the caller's thread at the end, without
// a thread. At most a few blocks wait at any time: update() blocks when the hashing
// falls behind.
class BackgroundSha256 {
 public:
  BackgroundSha256();
  ~BackgroundSha256();
  BackgroundSha256(const BackgroundSha256&) = delete;
  BackgroundSha256& operator=(const BackgroundSha256&) = delete;

  void update(std::string_view bytes);
  // The digest of everything fed so far. The object is spent afterwards.
  std::string finishHex();

 private:
  void handOver();
  void work();

  Sha256 sha_;
  std::string filling_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queued_;
  std::vector<std::string> spare_;  // hashed blocks, kept for reuse
  bool finished_ = false;
  std::thread worker_;
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
