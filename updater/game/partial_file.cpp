#include "updater/game/partial_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>
#include <vector>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

namespace {

// Writing back starts every so often, and a big file is flushed on another thread as it
// grows: the disk (and a virtual machine's host behind it) then has little left to do when
// the file must be on it, instead of all of it at the end.
constexpr std::uint64_t kWritebackStep = 16 << 20;
constexpr std::uint64_t kSyncStep = 64 << 20;
constexpr std::size_t kReadSize = 1 << 20;

}  // namespace

PartialFile::PartialFile(std::filesystem::path path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) throwDiskError("cannot open " + path_.string(), errno);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) {
    int error = errno;
    ::close(fd_);  // no destructor runs for a constructor that throws
    throwDiskError("cannot inspect " + path_.string(), error);
  }
  size_ = writingBack_ = synced_ = static_cast<std::uint64_t>(info.st_size);
}

PartialFile::~PartialFile() {
  if (syncing_.valid()) syncing_.wait();
  if (fd_ >= 0) ::close(fd_);
  if (discarded_ && !installed_) ::unlink(path_.c_str());
}

void PartialFile::readBack(const std::function<void(std::string_view)>& sink) {
  std::vector<char> buffer(kReadSize);
  for (std::uint64_t offset = 0; offset < size_;) {
    ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwDiskError("cannot read " + path_.string(), errno);
    if (n == 0) throwDiskError("cannot read " + path_.string(), EIO);
    sink(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    offset += static_cast<std::uint64_t>(n);
  }
}

std::string PartialFile::read(std::uint64_t offset, std::size_t size) const {
  std::string bytes;
  if (!readAt(fd_, offset, size, bytes)) throwDiskError("cannot read " + path_.string(), errno);
  return bytes;
}

void PartialFile::truncate(std::uint64_t size) {
  if (size >= size_) return;
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
    throwDiskError("cannot shorten " + path_.string(), errno);
  size_ = size;
  writingBack_ = std::min(writingBack_, size);
  synced_ = std::min(synced_, size);
}

void PartialFile::write(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) throwDiskError("cannot write " + path_.string(), errno);
    bytes.remove_prefix(static_cast<std::size_t>(n));
    size_ += static_cast<std::uint64_t>(n);
  }
  if (size_ - writingBack_ >= kWritebackStep) {
    ::sync_file_range(fd_, static_cast<off_t>(writingBack_),
                      static_cast<off_t>(size_ - writingBack_), SYNC_FILE_RANGE_WRITE);
    writingBack_ = size_;
  }
  bool idle =
      !syncing_.valid() || syncing_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  if (size_ - synced_ >= kSyncStep && idle) {
    synced_ = size_;
    try {
      syncing_ = std::async(std::launch::async, [this] {
        // A failure is told once, to this flush only: install() must hear of it.
        if (::fdatasync(fd_) != 0) syncError_ = errno;
      });
    } catch (const std::system_error&) {
      // No thread to be had: install() flushes it all.
    }
  }
}

void PartialFile::install(const std::filesystem::path& target) {
  if (syncing_.valid()) syncing_.wait();
  if (syncError_ != 0) throwDiskError("cannot flush " + path_.string(), syncError_);
  if (::fsync(fd_) != 0) throwDiskError("cannot flush " + path_.string(), errno);
  makeDirectories(target.parent_path());
  if (::rename(path_.c_str(), target.c_str()) != 0)
    throwDiskError("cannot move the download to " + target.string(), errno);
  installed_ = true;
}

}  // namespace kaldra::update
