#include "updater/game/game_folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "updater/base/failure.h"
#include "updater/base/file_io.h"

namespace kaldra::update {

GameFolderLock::GameFolderLock(const std::filesystem::path& root, bool create) {
  if (create) makeDirectories(root);
  fd_ = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd_ < 0) {
    if (!create && errno == ENOENT) return;
    throwDiskError("cannot open " + root.string(), errno);
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return;
  int error = errno;
  ::close(fd_);
  fd_ = -1;
  if (error == EWOULDBLOCK) {
    throw UpdateError(FailureKind::busy, "another run is working on " + root.string());
  }
  throwDiskError("cannot lock " + root.string(), error);
}

GameFolderLock::~GameFolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

}  // namespace kaldra::update
