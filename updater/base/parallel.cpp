#include "updater/base/parallel.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

namespace kaldra::update {

unsigned workerThreads() {
  if (const char* value = std::getenv("KALDRA_UPDATE_THREADS")) {
    std::string_view text(value);
    unsigned threads = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), threads);
    if (error == std::errc() && end == text.data() + text.size() && threads > 0) return threads;
  }
  return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
}

void parallelFor(std::size_t count, unsigned threads,
                 const std::function<void(std::size_t)>& body) {
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorMutex;

  auto work = [&] {
    for (std::size_t i; !failed && (i = next++) < count;) {
      try {
        body(i);
      } catch (...) {
        std::lock_guard lock(errorMutex);
        if (!firstError) firstError = std::current_exception();
        failed = true;
      }
    }
  };

  std::size_t helpers = std::min<std::size_t>(std::max(threads, 1u), count);
  std::vector<std::thread> pool;
  try {
    for (std::size_t t = 1; t < helpers; ++t) pool.emplace_back(work);
  } catch (const std::system_error&) {
    // No more threads to be had: the ones there are do all the work.
  }
  work();  // the calling thread is one of the workers
  for (auto& thread : pool) thread.join();
  if (firstError) std::rethrow_exception(firstError);
}

void produceInOrder(std::size_t count, unsigned threads, std::size_t ahead,
                    const std::function<std::string(std::size_t)>& produce,
                    const std::function<void(std::size_t, std::string&)>& consume) {
  if (threads <= 1) {
    for (std::size_t i = 0; i < count; ++i) {
      std::string item = produce(i);
      consume(i, item);
    }
    return;
  }
  std::mutex mutex;
  // Separate waits, each woken only when its own condition may have changed: one wake for
  // every item, not one for every thread.
  std::condition_variable room;     // the producers wait for a place ahead
  std::condition_variable awaited;  // the consumer waits for the item it is at
  std::map<std::size_t, std::string> ready;
  std::size_t nextToProduce = 0, consumed = 0;
  std::size_t failedAt = count;  // the first index whose production failed
  std::exception_ptr error;
  bool stop = false;

  auto work = [&] {
    std::unique_lock lock(mutex);
    for (;;) {
      room.wait(lock,
                [&] { return stop || nextToProduce >= count || nextToProduce < consumed + ahead; });
      if (stop || nextToProduce >= count) return;
      std::size_t i = nextToProduce++;
      lock.unlock();
      std::string item;
      std::exception_ptr failure;
      try {
        item = produce(i);
      } catch (...) {
        failure = std::current_exception();
      }
      lock.lock();
      if (failure) {
        if (i < failedAt) {
          failedAt = i;
          error = failure;
        }
        stop = true;
        room.notify_all();
        awaited.notify_one();
      } else {
        ready.emplace(i, std::move(item));
        if (i == consumed) awaited.notify_one();
      }
    }
  };
  std::vector<std::thread> pool;
  for (unsigned t = 0; t < std::min<std::size_t>(threads, count); ++t) pool.emplace_back(work);
  std::exception_ptr consumerError;
  try {
    for (std::size_t i = 0; i < count; ++i) {
      std::string item;
      {
        std::unique_lock lock(mutex);
        awaited.wait(lock, [&] { return ready.contains(i) || failedAt <= i; });
        if (!ready.contains(i)) break;  // its production failed
        item = std::move(ready.at(i));
        ready.erase(i);
      }
      consume(i, item);
      std::lock_guard lock(mutex);
      consumed = i + 1;
      room.notify_one();
    }
  } catch (...) {
    consumerError = std::current_exception();
  }
  {
    std::lock_guard lock(mutex);
    stop = true;
    room.notify_all();
  }
  for (auto& thread : pool) thread.join();
  if (consumerError) std::rethrow_exception(consumerError);
  if (error) std::rethrow_exception(error);
}

}  // namespace kaldra::update
