#include "updater/base/parallel.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <cstdlib>
#include <exception>
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

}  // namespace kaldra::update
