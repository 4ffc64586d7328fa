#include "updater/base/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

FolderLock::FolderLock(const std::filesystem::path& folder, bool create,
                       std::chrono::milliseconds wait) {
  if (create) makeDirectories(folder);
  fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    if (!create && errno == ENOENT) return;
    throwDiskError("cannot open " + folder.string(), errno);
  }
  auto deadline = std::chrono::steady_clock::now() + wait;
  int error = 0;
  while ((error = ::flock(fd_, LOCK_EX | LOCK_NB) == 0 ? 0 : errno) == EWOULDBLOCK &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (error == 0) return;
  ::close(fd_);
  fd_ = -1;
  if (error == EWOULDBLOCK)
    throw UpdateError(FailureKind::busy, "another run is working on " + folder.string());
  throwDiskError("cannot lock " + folder.string(), error);
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace kaldra::update
