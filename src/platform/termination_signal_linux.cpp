#include "platform/termination_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace kaldra::platform {

namespace {

int writeEnd = -1;

void onTerminate(int) {
  const char byte = 1;
  [[maybe_unused]] auto ignored = ::write(writeEnd, &byte, 1);
}

}  // namespace

int watchTerminationRequests() {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) return -1;
  writeEnd = fds[1];
  struct sigaction action {};
  action.sa_handler = onTerminate;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (::sigaction(SIGTERM, &action, nullptr) != 0) return -1;
  return fds[0];
}

void takeTerminationRequests(int fd) {
  char bytes[64];
  while (::read(fd, bytes, sizeof bytes) > 0) {
  }
}

}  // namespace kaldra::platform
