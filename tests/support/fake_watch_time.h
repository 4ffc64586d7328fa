// Watch time in which a sleep passes at once (real processes get a few milliseconds) and the
// test may act after any sleep. Thread-safe; must outlive every clock() it gave.
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
  // Called after each sleep with its number, counted from 0, before the sleeper goes on.
  std::function<void(size_t)> afterSleep = [](size_t) {};

  WatchClock clock() {
    return {.now = [this] { return WatchClock::TimePoint{} + elapsed(); },
            .sleep =
                [this](WatchClock::Duration length) {
                  std::unique_lock lock(mutex_);
                  sleeps_.push_back(length);
                  size_t number = sleeps_.size() - 1;
                  lock.unlock();
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
                  afterSleep(number);
                }};
  }
  WatchClock::Duration elapsed() {
    auto all = sleeps();
    return std::accumulate(all.begin(), all.end(), WatchClock::Duration(0));
  }
  std::vector<WatchClock::Duration> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  std::mutex mutex_;
  std::vector<WatchClock::Duration> sleeps_;
};

}  // namespace kaldra::testing
