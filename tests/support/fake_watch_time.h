// Time for the game's watches in which every sleep passes at once: the fake clock moves
// on by the sleep's length, real processes get a few milliseconds to move meanwhile,
// and the test may act after any sleep. Thread-safe; must outlive every clock() it gave.
//
//   FakeWatchTime time;
//   time.afterSleep = [&](size_t n) { if (n == 2) killTheGame(); };
//   watchGameExit(ui, script, time.clock());
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "game/watch_clock.h"

namespace kaldra::testing {

class FakeWatchTime {
 public:
  using Duration = WatchClock::Duration;

  explicit FakeWatchTime(Duration realPause = Duration(5)) : realPause_(realPause) {}

  // Called after each sleep with its number, counted from 0, before the sleeper goes on.
  std::function<void(size_t)> afterSleep;

  WatchClock clock() {
    return {.now = [this] { return start_ + elapsed(); },
            .sleep =
                [this](Duration length) {
                  size_t number;
                  {
                    std::lock_guard lock(mutex_);
                    number = sleeps_.size();
                    sleeps_.push_back(length);
                  }
                  std::this_thread::sleep_for(realPause_);
                  if (afterSleep) afterSleep(number);
                }};
  }

  Duration elapsed() {
    std::lock_guard lock(mutex_);
    Duration total(0);
    for (Duration length : sleeps_) total += length;
    return total;
  }

  std::vector<Duration> sleeps() {
    std::lock_guard lock(mutex_);
    return sleeps_;
  }

 private:
  const WatchClock::TimePoint start_ = std::chrono::steady_clock::now();
  const Duration realPause_;
  std::mutex mutex_;
  std::vector<Duration> sleeps_;
};

}  // namespace kaldra::testing
