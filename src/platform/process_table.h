// The system's process table, read directly: which ids exist, which children a process
// has, which file a process runs. Counts and buffers as the platform's calls take them,
// so the callers fix their limits themselves. Callable from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kaldra::platform {

enum class NullSignal {
  delivered,     // the process exists and may be signalled
  notPermitted,  // the process exists but belongs to someone else
  failed,        // no such process, or any other error
};

// The id of this process.
std::int32_t currentProcessId();

// Sends no signal to `pid`; only tests whether one could be sent.
NullSignal sendNullSignal(std::int32_t pid);

// Writes the ids of all processes into `pids` (at most `capacity`). The result is how
// many were written, or less than 1 when the table cannot be read.
int listAllPids(std::int32_t* pids, std::size_t capacity);

// Writes the ids of the direct children of `pid` into `pids` (at most `capacity`). The
// result is how many were written, or less than 1 when there are none or `pid` cannot
// be read.
int listChildPids(std::int32_t pid, std::int32_t* pids, std::size_t capacity);

// Writes the absolute path of the file `pid` runs (symbolic links resolved) into
// `buffer`, without a terminating zero. The result is the byte count, or less than 1
// when the process is gone or not readable.
int readExecutablePath(std::int32_t pid, char* buffer, std::size_t size);

}  // namespace kaldra::platform
