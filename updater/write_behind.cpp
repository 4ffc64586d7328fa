#include "updater/write_behind.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "updater/failure.h"

namespace kaldra::update {

namespace {

// Direct writes need the memory, the length and the file offset aligned; 4 KiB suits
// every disk in use. Two blocks queued keep the disk busy; more would only hold memory.
constexpr std::size_t kAlign = 4096;
constexpr std::size_t kBlockSize = 4 << 20;
constexpr std::size_t kMaxQueued = 2;

}  // namespace

// Blocks are mapped, not allocated: a small file touches only the pages it fills, and a
// freed block goes back to the system at once.
void WriteBehind::Free::operator()(char* block) const {
  ::munmap(block, kBlockSize);
}

WriteBehind::WriteBehind(int fd, std::string name, std::uint64_t onDisk)
    : fd_(fd), name_(std::move(name)), onDisk_(onDisk) {}

WriteBehind::~WriteBehind() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queued_.clear();
  }
  changed_.notify_all();
  worker_.join();
}

void WriteBehind::append(std::string_view bytes) {
  while (!bytes.empty()) {
    if (!filling_) {
      void* block =
          ::mmap(nullptr, kBlockSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (block == MAP_FAILED) throwDiskError("no memory to buffer " + name_, errno);
      filling_.reset(static_cast<char*>(block));
    }
    auto take = std::min(bytes.size(), kBlockSize - filled_);
    std::memcpy(filling_.get() + filled_, bytes.data(), take);
    filled_ += take;
    bytes.remove_prefix(take);
    if (filled_ == kBlockSize) handOver();
  }
}

void WriteBehind::handOver() {
  if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
  Block next;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_.size() < kMaxQueued || error_ != 0; });
    if (error_ != 0) throwDiskError("cannot write " + name_, error_);
    queued_.push_back(std::move(filling_));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  filling_ = std::move(next);
  filled_ = 0;
}

void WriteBehind::work() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return stopping_ || !queued_.empty(); });
    if (stopping_) return;
    Block block = std::move(queued_.front());
    queued_.pop_front();
    writing_ = true;
    if (error_ == 0) {
      lock.unlock();
      int error = writeOut(block.get(), kBlockSize);
      lock.lock();
      error_ = error;
    }
    writing_ = false;
    spare_.push_back(std::move(block));
    changed_.notify_all();
  }
}

void WriteBehind::drain(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [this] { return queued_.empty() && !writing_; });
}

void WriteBehind::flush() {
  {
    std::unique_lock lock(mutex_);
    drain(lock);
    if (error_ != 0) throwDiskError("cannot write " + name_, error_);
  }
  if (filled_ > 0) {
    if (int error = writeOut(filling_.get(), filled_); error != 0)
      throwDiskError("cannot write " + name_, error);
  }
  filled_ = 0;
  setDirect(false);
}

void WriteBehind::reset() {
  std::unique_lock lock(mutex_);
  drain(lock);
  error_ = 0;
  filled_ = 0;
  onDisk_ = 0;
}

int WriteBehind::writeOut(const char* bytes, std::size_t size) {
  setDirect(onDisk_ % kAlign == 0 && size % kAlign == 0);
  while (size > 0) {
    ssize_t n = ::write(fd_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EINVAL && direct_) {
      // The file system took the flag but not the write: go on the ordinary way.
      directRefused_ = true;
      setDirect(false);
      continue;
    }
    if (n < 0) return errno;
    if (n == 0) return EIO;
    bytes += n;
    size -= static_cast<std::size_t>(n);
    onDisk_ += static_cast<std::uint64_t>(n);
    // A short write leaves the offset unaligned for the rest of this block.
    if (size > 0) setDirect(false);
  }
  return 0;
}

void WriteBehind::setDirect(bool direct) {
  direct = direct && !directRefused_;
  if (direct == direct_) return;
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0 && ::fcntl(fd_, F_SETFL, direct ? flags | O_DIRECT : flags & ~O_DIRECT) == 0) {
    direct_ = direct;
  } else if (direct) {
    directRefused_ = true;  // tmpfs and some others have no direct writes
  }
}

}  // namespace kaldra::update
