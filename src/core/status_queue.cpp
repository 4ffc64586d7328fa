#include "core/status_queue.h"

#include <utility>

namespace kaldra {

std::string snapshotKey(std::string_view text) {
  auto first = text.find(' ');
  if (first == std::string_view::npos) return std::string(text);
  auto second = text.find(' ', first + 1);
  return std::string(text.substr(0, second));
}

bool StatusQueue::push(StatusUpdate update) {
  std::lock_guard lock(mutex_);
  bool wasEmpty = pending_.empty();
  if (!wasEmpty && (pending_.size() >= kMaxPending ||
                    snapshotKey(pending_.back().text) == snapshotKey(update.text)))
    pending_.back() = std::move(update);
  else
    pending_.push_back(std::move(update));
  return wasEmpty;
}

std::vector<StatusUpdate> StatusQueue::takeAll() {
  std::lock_guard lock(mutex_);
  return std::exchange(pending_, {});
}

}  // namespace kaldra
