// A started child process whose running state several threads ask after. The first
// look that finds it ended reaps it and keeps its status for every later look.
#pragma once

#include <mutex>
#include <optional>

#include "proc/process_queries.h"

namespace kaldra {

class ChildProcess {
 public:
  // `pid` must be a child of this process that nothing else waits for.
  explicit ChildProcess(Pid pid) : pid_(pid) {}

  Pid pid() const { return pid_; }

  // No value while the child runs; then its exit code, or the number of the signal that
  // ended it. Never blocks. Callable from any thread.
  std::optional<int> exitStatus();

 private:
  const Pid pid_;
  std::mutex mutex_;
  std::optional<int> status_;
};

}  // namespace kaldra
