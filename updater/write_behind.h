// Appends to a file in whole blocks that a thread of its own writes, straight to the disk
// where the file system allows it: the bytes skip the page cache, so the disk works while
// the next block arrives and the final flush has almost nothing left to do.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace kaldra::update {

class WriteBehind {
 public:
  // `fd` is appended to; it holds `onDisk` bytes already. `name` is for error messages.
  WriteBehind(int fd, std::string name, std::uint64_t onDisk);
  // Drops what was not flushed.
  ~WriteBehind();
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // Throws UpdateError (disk) when an earlier block could not be written.
  void append(std::string_view bytes);
  // Writes everything appended so far and leaves the file open for ordinary reads.
  // Throws UpdateError (disk).
  void flush();
  // Forgets what was not written yet, for a file that was just emptied.
  void reset();

 private:
  struct Free {
    void operator()(char* block) const;
  };
  using Block = std::unique_ptr<char, Free>;

  void handOver();
  void work();
  void drain(std::unique_lock<std::mutex>& lock);
  // On the writer's thread, or on the caller's once the writer is idle. The error
  // number, or 0.
  int writeOut(const char* bytes, std::size_t size);
  void setDirect(bool direct);

  int fd_;
  std::string name_;
  std::uint64_t onDisk_;
  bool direct_ = false;
  bool directRefused_ = false;
  Block filling_;
  std::size_t filled_ = 0;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Block> queued_;
  std::vector<Block> spare_;
  bool writing_ = false;
  bool stopping_ = false;
  int error_ = 0;
  std::thread worker_;
};

}  // namespace kaldra::update
