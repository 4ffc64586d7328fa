// Status updates on their way from the launch steps to the window. A fast stream of
// progress events must not flood the main thread, so an update replaces a pending one
// of the same kind instead of queueing behind it.
#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kaldra {

struct StatusUpdate {
  std::string text;
  std::optional<double> progress;
  std::string detail;
};

// The first two blank-separated words of a status text: a new key is a new kind of
// status, worth a snapshot; a count that grows after the second word is not.
std::string snapshotKey(std::string_view text);

class StatusQueue {
 public:
  // The most updates that wait for the main thread. A stream that changes its kind on
  // every event would otherwise pile up faster than the window can show it.
  static constexpr std::size_t kMaxPending = 4;

  // Adds an update. When the last pending update has the same snapshot key, or the
  // queue is full, the last one is replaced: the queue holds at most one update per
  // change of kind and never more than kMaxPending, and the latest update is always
  // last. True when the queue was empty before, that is, when the caller must arrange
  // a drain.
  bool push(StatusUpdate update);

  // Takes every pending update, oldest first.
  std::vector<StatusUpdate> takeAll();

 private:
  std::mutex mutex_;
  std::vector<StatusUpdate> pending_;
};

}  // namespace kaldra
