#include "updater/download.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "updater/failure.h"
#include "updater/file_io.h"
#include "updater/sha256.h"

namespace kaldra::update {

namespace {

// Owns the temporary file until it has been renamed into place.
class PartialFile {
 public:
  explicit PartialFile(std::filesystem::path path) : path_(std::move(path)) {
    fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) throwDiskError("cannot create " + path_.string(), errno);
  }
  ~PartialFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!renamed_) ::unlink(path_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  void write(std::string_view bytes) {
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throwDiskError("cannot write " + path_.string(), errno);
      bytes.remove_prefix(static_cast<std::size_t>(n));
      written_ += static_cast<std::uint64_t>(n);
    }
    // Start writing back what has arrived, so that the final flush has little left to do.
    if (written_ - flushed_ >= kWritebackStep) {
      ::sync_file_range(fd_, static_cast<off_t>(flushed_), static_cast<off_t>(written_ - flushed_),
                        SYNC_FILE_RANGE_WRITE);
      flushed_ = written_;
    }
  }

  void flushAndRename(const std::filesystem::path& target) {
    if (::fsync(fd_) != 0) throwDiskError("cannot flush " + path_.string(), errno);
    int result = ::close(fd_);
    fd_ = -1;
    if (result != 0) throwDiskError("cannot close " + path_.string(), errno);
    makeDirectories(target.parent_path());
    if (::rename(path_.c_str(), target.c_str()) != 0)
      throwDiskError("cannot move the download to " + target.string(), errno);
    renamed_ = true;
  }

 private:
  static constexpr std::uint64_t kWritebackStep = 16 << 20;

  std::filesystem::path path_;
  int fd_ = -1;
  bool renamed_ = false;
  std::uint64_t written_ = 0;
  std::uint64_t flushed_ = 0;
};

[[noreturn]] void damaged(const std::string& url, const std::string& what) {
  throw UpdateError(FailureKind::integrity, url + ": " + what);
}

}  // namespace

FileStamp downloadFile(Transfer& transfer, const std::string& url, const ManifestFile& file,
                       const std::filesystem::path& target, const std::filesystem::path& partialDir,
                       const std::function<void(std::uint64_t)>& onBytes) {
  PartialFile partial(partialDir / (file.sha256 + ".part"));
  BackgroundSha256 sha;
  std::uint64_t received = 0;
  transfer.fetch(url, [&](std::string_view piece) {
    received += piece.size();
    if (received > file.size)
      damaged(url, "longer than the " + std::to_string(file.size) + " bytes listed");
    partial.write(piece);
    sha.update(piece);
    onBytes(piece.size());
  });
  if (received != file.size) {
    damaged(url, std::to_string(received) + " bytes instead of the " + std::to_string(file.size) +
                     " listed");
  }
  if (auto digest = sha.finishHex(); digest != file.sha256)
    damaged(url, "SHA-256 " + digest + " instead of the listed " + file.sha256);
  partial.flushAndRename(target);
  auto stamp = stampOf(target);
  if (!stamp) throwDiskError("installed file vanished: " + target.string(), ENOENT);
  return *stamp;
}

}  // namespace kaldra::update
