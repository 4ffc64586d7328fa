// Time for the game's watches in which every sleep passes at once: the fake clock moves
// on by the sleep's length, real processes get a few milliseconds to move meanwhile,
// and the test may act after any sleep. Thread-safe; must outlive every clock() it gave.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <numeric>
#include <thread>
#include <vector>

#include "game/watch_clock.h"

namespace kaldra::testing {

class FakeWatchTime {
 public:
  using Duration = WatchClock::Duration;

  // Called after each sleep with its number, counted from 0, before the sleeper goes on.
  std::function<void(size_t)> afterSleep;

  WatchClock clock() {
    return {.now = [this] { return start_ + elapsed(); },
            .sleep =
                [this](Duration length) {
                  size_t number = note(length);
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                  if (afterSleep) afterSleep(number);
                }};
  }

  Duration elapsed() {
    auto all = sleeps();
    return std::accumulate(all.begin(), all.end(), Duration(0));
  }

  std::vector<Duration> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  size_t note(Duration length) {
    std::lock_guard lock(mutex_);
    sleeps_.push_back(length);
    return sleeps_.size() - 1;
  }
  const WatchClock::TimePoint start_ = std::chrono::steady_clock::now();
  std::mutex mutex_;
  std::vector<Duration> sleeps_;
};

}  // namespace kaldra::testing
