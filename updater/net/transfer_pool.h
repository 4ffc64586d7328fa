// Idle transfers, each kept with its open connection for the next fetch. Thread-safe.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "updater/net/network_settings.h"
#include "updater/net/transfer.h"

namespace kaldra::update {

class TransferPool {
 public:
  explicit TransferPool(const NetworkSettings& settings) : settings_(settings) {}

  std::unique_ptr<Transfer> take() {
    std::lock_guard lock(mutex_);
    if (idle_.empty()) return std::make_unique<Transfer>(settings_);
    auto transfer = std::move(idle_.back());
    idle_.pop_back();
    return transfer;
  }
  void give(std::unique_ptr<Transfer> transfer) {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(transfer));
  }

 private:
  const NetworkSettings& settings_;
  std::mutex mutex_;
  std::vector<std::unique_ptr<Transfer>> idle_;
};

}  // namespace kaldra::update
