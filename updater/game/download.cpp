#include "updater/game/download.h"

#include <cerrno>
#include <optional>

#include "updater/base/failure.h"
#include "updater/base/sha256.h"
#include "updater/game/partial_file.h"

namespace kaldra::update {

namespace {

[[noreturn]] void damaged(const std::string& url, const std::string& what) {
  throw UpdateError(FailureKind::integrity, url + ": " + what);
}

// The bytes of one file on their way: the partial file and the digest of what it holds.
class Arrival {
 public:
  Arrival(const std::filesystem::path& path, const ManifestFile& file,
          const std::function<void(std::uint64_t)>& onProgress)
      : partial_(path), file_(file), onProgress_(onProgress) {
    // More than listed cannot be the start of this file.
    if (partial_.size() > file_.size) partial_.clear();
    sha_.emplace();
    partial_.readBack([&](std::string_view piece) { sha_->update(piece); });
    advance();
  }

  PartialFile& partial() { return partial_; }
  std::uint64_t size() const { return partial_.size(); }

  void restart() {
    partial_.clear();
    sha_.emplace();
  }

  void append(const std::string& url, std::string_view piece) {
    if (partial_.size() + piece.size() > file_.size)
      damaged(url, "longer than the " + std::to_string(file_.size) + " bytes listed");
    partial_.write(piece);
    sha_->update(piece);
    advance();
  }

  std::string finishHex() { return sha_->finishHex(); }

 private:
  void advance() {
    if (partial_.size() <= reported_) return;
    onProgress_(partial_.size() - reported_);
    reported_ = partial_.size();
  }

  PartialFile partial_;
  const ManifestFile& file_;
  const std::function<void(std::uint64_t)>& onProgress_;
  std::optional<BackgroundSha256> sha_;
  std::uint64_t reported_ = 0;
};

}  // namespace

std::string partialName(const ManifestFile& file) {
  return file.sha256 + "-" + sha256Hex(file.path).substr(0, 16) + ".part";
}

Downloaded downloadFile(Transfer& transfer, const std::string& url, const ManifestFile& file,
                        const std::filesystem::path& target,
                        const std::filesystem::path& partialDir, const NetworkSettings& settings,
                        const std::function<void(std::uint64_t)>& onProgress) {
  Arrival arrival(partialDir / partialName(file), file, onProgress);
  Downloaded result;
  try {
    for (int attempt = 1;; ++attempt) {
      bool resumed = arrival.size() > 0;
      try {
        if (arrival.size() < file.size || file.size == 0) {
          transfer.fetchFrom(
              url, arrival.size(),
              [&](std::uint64_t start) {
                if (start != arrival.size()) arrival.restart();
              },
              [&](std::string_view piece) {
                arrival.append(url, piece);
                result.received += piece.size();
              });
        }
        if (arrival.size() < file.size) {
          damaged(url, std::to_string(arrival.size()) + " bytes instead of the " +
                           std::to_string(file.size) + " listed");
        }
        if (auto digest = arrival.finishHex(); digest != file.sha256) {
          if (!resumed) damaged(url, "SHA-256 " + digest + " instead of the listed " + file.sha256);
          arrival.restart();  // the kept bytes were of another version of the file
          continue;
        }
        break;
      } catch (const TransferError& error) {
        if (error.cause() == TransferError::Cause::rangeRefused && resumed) {
          arrival.restart();
          continue;
        }
        if (!waitToRetry(error, attempt, settings)) throw;
      }
    }
    arrival.partial().install(target);
  } catch (const UpdateError& error) {
    // Bytes that cannot be right, or a disk that could not take them, are not kept.
    if (error.kind() != FailureKind::network) arrival.partial().discard();
    throw;
  }
  auto stamp = stampOf(target);
  if (!stamp) throwDiskError("installed file vanished: " + target.string(), ENOENT);
  result.stamp = *stamp;
  return result;
}

}  // namespace kaldra::update
