#include "platform/child_exit.h"

#include <sys/wait.h>

#include <cerrno>

namespace kaldra::platform {

ChildExit waitForChildExit(int pid) {
  int raw = 0;
  while (::waitpid(pid, &raw, 0) < 0) {
    if (errno != EINTR) return {};
  }
  if (WIFSIGNALED(raw)) return {WTERMSIG(raw), true};
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : raw, false};
}

}  // namespace kaldra::platform
