// How a child process ended. An exit code and the number of the signal that killed a
// child can be equal (a crash by SIGABRT looks like exit 6); callers that give an exit
// code a meaning must tell the two apart.
#pragma once

namespace kaldra::platform {

struct ChildExit {
  int status = -1;        // the exit code, or the signal number; -1 when not a child
  bool bySignal = false;  // a signal ended the child: `status` is no exit code
};

// Waits for the child to end, like waitForExit, and says whether a signal ended it.
ChildExit waitForChildExit(int pid);

}  // namespace kaldra::platform
