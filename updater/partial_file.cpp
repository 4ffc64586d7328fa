#include "updater/partial_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "updater/failure.h"
#include "updater/file_io.h"

namespace kaldra::update {

namespace {

constexpr std::size_t kReadSize = 1 << 20;

}  // namespace

PartialFile::PartialFile(std::filesystem::path path) : path_(std::move(path)) {
  fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (fd_ < 0) throwDiskError("cannot open " + path_.string(), errno);
  struct stat info {};
  if (::fstat(fd_, &info) != 0) throwDiskError("cannot inspect " + path_.string(), errno);
  size_ = static_cast<std::uint64_t>(info.st_size);
  behind_.emplace(fd_, path_.string(), size_);
}

PartialFile::~PartialFile() {
  // What arrived stays for the next run, unless it is known to be wrong.
  if (behind_ && !discarded_ && !installed_) {
    try {
      behind_->flush();
    } catch (const UpdateError&) {
      // The file still holds a start of the download, which the next run checks.
    }
  }
  behind_.reset();
  if (fd_ >= 0) ::close(fd_);
  if (discarded_ && !installed_) ::unlink(path_.c_str());
}

void PartialFile::readBack(const std::function<void(std::string_view)>& sink) {
  behind_->flush();
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

void PartialFile::clear() {
  behind_->reset();
  if (::ftruncate(fd_, 0) != 0) throwDiskError("cannot empty " + path_.string(), errno);
  size_ = 0;
}

void PartialFile::write(std::string_view bytes) {
  behind_->append(bytes);
  size_ += bytes.size();
}

void PartialFile::install(const std::filesystem::path& target) {
  behind_->flush();
  if (::fsync(fd_) != 0) throwDiskError("cannot flush " + path_.string(), errno);
  makeDirectories(target.parent_path());
  if (::rename(path_.c_str(), target.c_str()) != 0)
    throwDiskError("cannot move the download to " + target.string(), errno);
  installed_ = true;
}

}  // namespace kaldra::update
