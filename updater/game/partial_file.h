// A download on its way into the game folder: a file in the partial folder that keeps
// what has arrived, across failures and runs, until it is complete and checked.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <string_view>

namespace kaldra::update {

class PartialFile {
 public:
  // Opens `path`, keeping what an earlier try left there. Throws UpdateError (disk).
  explicit PartialFile(std::filesystem::path path);
  // Closes the file; it stays for the next try unless it was discarded or installed.
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  std::uint64_t size() const { return size_; }

  // Hands the bytes kept so far to `sink`, in order. Throws UpdateError (disk).
  void readBack(const std::function<void(std::string_view)>& sink);

  // Up to `size` bytes at `offset` of what is kept. Throws UpdateError (disk).
  std::string read(std::uint64_t offset, std::size_t size) const;

  // Forgets what is kept past `size`, to go on from there. Throws UpdateError (disk).
  void truncate(std::uint64_t size);
  // Forgets what is kept, to start from the beginning. Throws UpdateError (disk).
  void clear() { truncate(0); }

  // Appends; a big file is flushed to the disk as it grows. Throws UpdateError (disk).
  void write(std::string_view bytes);

  // Removes the file when it is closed: what it holds is known to be wrong.
  void discard() { discarded_ = true; }

  // Flushes the file to the disk, creates the target's folders and renames it to
  // `target`. Throws UpdateError (disk).
  void install(const std::filesystem::path& target);

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool discarded_ = false;
  bool installed_ = false;
  std::uint64_t size_ = 0;
  std::uint64_t writingBack_ = 0;  // the write-back of the bytes before it has begun
  std::uint64_t synced_ = 0;       // the bytes before it are on the disk, or on their way
  std::future<void> syncing_;
  std::atomic<int> syncError_{0};
};

}  // namespace kaldra::update
