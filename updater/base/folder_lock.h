// One writer at a time on a folder: two "prepare" runs would write the same partial files,
// a "verify" beside a "prepare" would read files while they are replaced, and a "prune"
// beside a "publish" would remove the objects the new manifest is about to name.
#pragma once

#include <chrono>
#include <filesystem>

namespace kaldra::update {

// Holds an exclusive lock on the folder itself (no lock file inside it) until destroyed;
// the system drops it when the process ends, however it ends. Creates the folder first
// when `create` is set; without it, a missing folder is not locked, since there is nothing
// to guard. While another run holds the folder it waits up to `wait`, then throws
// UpdateError (busy); throws UpdateError (disk) when the folder cannot be created or opened.
class FolderLock {
 public:
  FolderLock(const std::filesystem::path& folder, bool create,
             std::chrono::milliseconds wait = std::chrono::milliseconds(0));
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace kaldra::update
