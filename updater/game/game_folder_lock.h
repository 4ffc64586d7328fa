// One run at a time on a game folder: two "prepare" runs would write the same partial
// files, and a "verify" beside a "prepare" would read files while they are replaced.
#pragma once

#include <filesystem>

namespace kaldra::update {

// Holds an exclusive lock on the game folder itself (no lock file inside it) until
// destroyed; the system drops it when the process ends, however it ends. Creates the
// folder first when `create` is set; without it, a missing folder is not locked, since
// there is nothing to guard. Throws UpdateError (busy) at once when another run holds
// the folder, and UpdateError (disk) when it cannot be created or opened.
class GameFolderLock {
 public:
  GameFolderLock(const std::filesystem::path& root, bool create);
  ~GameFolderLock();
  GameFolderLock(const GameFolderLock&) = delete;
  GameFolderLock& operator=(const GameFolderLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace kaldra::update
