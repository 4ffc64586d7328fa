#include "updater/base/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <vector>

#include "updater/base/failure.h"

namespace kaldra::update {

namespace {

// Fetched once: an implicit fetch on every init costs more than hashing a small file.
const EVP_MD* sha256Algorithm() {
  static EVP_MD* algorithm = EVP_MD_fetch(nullptr, "SHA256", nullptr);
  if (algorithm == nullptr) throw std::runtime_error("OpenSSL offers no SHA256");
  return algorithm;
}

constexpr std::size_t kReadSize = 256 << 10;
constexpr std::size_t kBlockSize = 4 << 20;
constexpr std::size_t kMaxQueued = 4;

}  // namespace

struct Sha256::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, sha256Algorithm(), nullptr) != 1)
    throw std::runtime_error("SHA256 cannot be initialised");
}

Sha256::~Sha256() = default;

void Sha256::update(const void* data, std::size_t size) {
  EVP_DigestUpdate(context_->md, data, size);
}

std::string Sha256::finishHex() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->md, digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kHex[digest[i] >> 4]);
    hex.push_back(kHex[digest[i] & 0xf]);
  }
  return hex;
}

BackgroundSha256::BackgroundSha256() {
  filling_.reserve(kBlockSize);
}

BackgroundSha256::~BackgroundSha256() {
  if (!worker_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
  worker_.join();
}

void BackgroundSha256::update(std::string_view bytes) {
  while (!bytes.empty()) {
    auto take = std::min(bytes.size(), kBlockSize - filling_.size());
    filling_.append(bytes.substr(0, take));
    bytes.remove_prefix(take);
    if (filling_.size() == kBlockSize) handOver();
  }
}

void BackgroundSha256::handOver() {
  if (!worker_.joinable()) worker_ = std::thread([this] { work(); });
  std::string next;
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return queued_.size() < kMaxQueued; });
    queued_.push_back(std::move(filling_));
    if (!spare_.empty()) {
      next = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  changed_.notify_all();
  next.reserve(kBlockSize);
  filling_ = std::move(next);
}

void BackgroundSha256::work() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return finished_ || !queued_.empty(); });
    if (queued_.empty()) return;
    std::string block = std::move(queued_.front());
    queued_.pop_front();
    lock.unlock();
    changed_.notify_all();
    sha_.update(block);
    block.clear();
    lock.lock();
    spare_.push_back(std::move(block));
  }
}

std::string BackgroundSha256::finishHex() {
  if (worker_.joinable()) {
    {
      std::lock_guard lock(mutex_);
      finished_ = true;
    }
    changed_.notify_all();
    worker_.join();  // the worker empties the queue before it returns
  }
  sha_.update(filling_);
  return sha_.finishHex();
}

std::string sha256Hex(std::string_view bytes) {
  Sha256 sha;
  sha.update(bytes);
  return sha.finishHex();
}

FileDigest hashFile(const std::filesystem::path& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) throwDiskError("cannot open " + path.string(), errno);
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  thread_local std::vector<char> buffer(kReadSize);
  Sha256 sha;
  FileDigest result;
  while (true) {
    ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      int error = errno;
      ::close(fd);
      throwDiskError("cannot read " + path.string(), error);
    }
    if (n == 0) break;
    sha.update(buffer.data(), static_cast<std::size_t>(n));
    result.size += static_cast<std::uint64_t>(n);
  }
  ::close(fd);
  result.sha256 = sha.finishHex();
  return result;
}

}  // namespace kaldra::update
