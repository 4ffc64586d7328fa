// A polite request to terminate (SIGTERM here) turned into something an event loop can
// watch, so the launcher quits cleanly instead of dying mid-write.
#pragma once

namespace kaldra::platform {

// From now on a termination request makes the returned descriptor readable. -1 when it
// cannot be set up (the request then ends the process as before).
int watchTerminationRequests();

// Reads every request noted on `fd` so far, so that it is not readable again until the
// next one arrives.
void takeTerminationRequests(int fd);

}  // namespace kaldra::platform
