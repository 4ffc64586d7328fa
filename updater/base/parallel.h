// Spreading independent work (mostly hashing files) over the machine's cores.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

namespace kaldra::update {

// KALDRA_UPDATE_THREADS when it holds a positive number, otherwise the number of cores
// (at most 8: beyond that the disk, not the processor, is the limit).
unsigned workerThreads();

// Calls body(i) for every i below `count`, on up to `threads` threads, each taking the next
// index as it becomes free. The first exception stops the hand-out of further indices and
// is rethrown once all threads have finished. Returns when every call has returned.
void parallelFor(std::size_t count, unsigned threads, const std::function<void(std::size_t)>& body);

// Produces items 0..count-1 on up to `threads` threads, at most `ahead` items beyond the
// one being consumed, and hands them to `consume` on the calling thread in order. The first
// exception of either stops the production; the items before the failed one are consumed
// first, then it is rethrown.
void produceInOrder(std::size_t count, unsigned threads, std::size_t ahead,
                    const std::function<std::string(std::size_t)>& produce,
                    const std::function<void(std::size_t, std::string&)>& consume);

}  // namespace kaldra::update
