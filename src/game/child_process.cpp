#include "game/child_process.h"

#include "platform/spawn.h"

namespace kaldra {

std::optional<int> ChildProcess::exitStatus() {
  std::lock_guard lock(mutex_);
  // Once reaped, the id is free for reuse; asking the system again would answer for
  // some other process, or not at all.
  if (!status_) status_ = platform::exitStatusIfEnded(pid_);
  return status_;
}

}  // namespace kaldra
