// The clock and the sleep of the game's watches, handed in so that tests can run a
// 15-second grace or a 600-cycle limit in milliseconds.
#pragma once

#include <chrono>
#include <functional>
#include <thread>

namespace kaldra {

struct WatchClock {
  using Duration = std::chrono::milliseconds;
  using TimePoint = std::chrono::steady_clock::time_point;

  std::function<TimePoint()> now = [] { return std::chrono::steady_clock::now(); };
  std::function<void(Duration)> sleep = [](Duration d) { std::this_thread::sleep_for(d); };
};

}  // namespace kaldra
