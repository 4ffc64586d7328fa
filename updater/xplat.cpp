#include "updater/xplat.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cctype>
#include <nlohmann/json.hpp>

#include "swap/bundle_identity.h"
#include "updater/channel.h"
#include "updater/failure.h"
#include "updater/feed_signature.h"
#include "updater/file_io.h"
#include "updater/sha256.h"

namespace kaldra::update {

namespace {

std::string fetchWhole(Transfer& transfer, const std::string& url) {
  std::string bytes;
  transfer.fetch(url, [&](std::string_view piece) {
    // A feed is a few hundred bytes; a server sending more is not a launcher channel.
    if (bytes.size() + piece.size() > (1u << 20))
      throw UpdateError(FailureKind::manifest, url + ": larger than a launcher feed");
    bytes.append(piece);
  });
  return bytes;
}

std::string imageUrl(const XplatRequest& request, const LauncherFeed& feed) {
  if (feed.url.find("://") != std::string::npos) return feed.url;
  return fileUrl(request.channel, feed.url);
}

// The partial image: appended to across runs, hashed as it grows, renamed when whole.
class PartialImage {
 public:
  explicit PartialImage(std::filesystem::path path) : path_(std::move(path)) {}
  ~PartialImage() {
    if (fd_ >= 0) ::close(fd_);
  }
  PartialImage(const PartialImage&) = delete;
  PartialImage& operator=(const PartialImage&) = delete;

  // Opens what an earlier run left, hashing it; a part longer than `size` is discarded.
  std::uint64_t open(std::uint64_t size) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) throwDiskError("cannot open " + path_.string(), errno);
    char buffer[1 << 16];
    for (ssize_t n; (n = ::read(fd_, buffer, sizeof buffer)) != 0;) {
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throwDiskError("cannot read " + path_.string(), errno);
      sha_->update(buffer, static_cast<std::size_t>(n));
      length_ += static_cast<std::uint64_t>(n);
    }
    if (length_ > size) restart();
    return length_;
  }

  // Throws away what is there: the server sends the whole image again.
  void restart() {
    if (::ftruncate(fd_, 0) != 0 || ::lseek(fd_, 0, SEEK_SET) != 0)
      throwDiskError("cannot empty " + path_.string(), errno);
    sha_ = std::make_unique<Sha256>();
    length_ = 0;
  }

  void append(std::string_view bytes) {
    sha_->update(bytes);
    length_ += bytes.size();
    while (!bytes.empty()) {
      ssize_t n = ::write(fd_, bytes.data(), bytes.size());
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) throwDiskError("cannot write " + path_.string(), errno);
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
  }

  std::uint64_t length() const { return length_; }
  std::string finishHex() { return sha_->finishHex(); }

  void removeFile() { ::unlink(path_.c_str()); }

  void moveTo(const std::filesystem::path& target) {
    if (::fsync(fd_) != 0) throwDiskError("cannot flush " + path_.string(), errno);
    if (::rename(path_.c_str(), target.c_str()) != 0)
      throwDiskError("cannot move the image to " + target.string(), errno);
    syncDirectory(target.parent_path());
  }

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  std::unique_ptr<Sha256> sha_ = std::make_unique<Sha256>();
  std::uint64_t length_ = 0;
};

std::string trimmed(std::string text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.pop_back();
  auto first = text.find_first_not_of(" \t\r\n");
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

LauncherFeed loadLauncherFeed(Transfer& transfer, const XplatRequest& request) {
  auto name = launcherFeedName(request.platform);
  auto bytes = fetchWhole(transfer, fileUrl(request.channel, name));
  std::string signature;
  try {
    signature = fetchWhole(transfer, fileUrl(request.channel, name + ".sig"));
  } catch (const UpdateError& error) {
    throw UpdateError(FailureKind::integrity, "launcher feed is not signed: " +
                                                  std::string(error.what()));
  }
  if (!verifyFeedSignature(bytes, signature))
    throw UpdateError(FailureKind::integrity,
                      "launcher feed " + fileUrl(request.channel, name) +
                          ": the signature does not match the tool's key");
  return parseLauncherFeed(bytes, request.platform);
}

XplatDecision decide(const LauncherFeed& feed, const XplatRequest& request,
                     const std::optional<std::string>& skipVersion) {
  XplatDecision decision;
  decision.required =
      !feed.minVersion.empty() && cmpVersion(request.current, feed.minVersion) < 0;
  decision.update = cmpVersion(feed.version, request.current) > 0;
  if (decision.update && !decision.required && skipVersion == feed.version) decision.update = false;
  decision.systemOk = feed.minSystem.empty() || cmpVersion(request.system, feed.minSystem) >= 0;
  return decision;
}

std::optional<std::string> skippedVersion(const std::filesystem::path& stateDir) {
  auto text = readFile(stateDir / "xplat" / "skip-version");
  if (!text) return std::nullopt;
  return trimmed(*text);
}

std::string checkResultJson(const XplatDecision& decision, const LauncherFeed& feed,
                            const std::string& current) {
  nlohmann::ordered_json json{{"update", decision.update},   {"required", decision.required},
                              {"systemOk", decision.systemOk}, {"offered", feed.version},
                              {"current", current},           {"minSystem", feed.minSystem}};
  return json.dump();
}

std::filesystem::path fetchLauncherImage(Transfer& transfer, const XplatRequest& request,
                                         const LauncherFeed& feed,
                                         const std::filesystem::path& outDir,
                                         EventWriter& events, std::string_view label) {
  if (cmpVersion(feed.version, request.current) <= 0) {
    throw UpdateError(FailureKind::other, "the channel offers " + feed.version +
                                              ", which is not newer than " + request.current);
  }
  makeDirectories(outDir);
  auto target = outDir / ("Kaldrith-" + feed.version + ".dmg");
  auto url = imageUrl(request, feed);
  PartialImage partial(outDir / ("Kaldrith-" + feed.version + ".dmg.part"));
  std::uint64_t start = partial.open(feed.size);
  auto report = [&] {
    double pct = feed.size ? 100.0 * static_cast<double>(partial.length()) / feed.size : 100;
    events.progress(Stage::download, pct, label, ByteProgress{partial.length(), feed.size});
  };
  report();
  if (start < feed.size) {
    transfer.fetchFrom(url, start, [&](std::uint64_t offset) {
      if (offset == 0 && partial.length() > 0) partial.restart();
    }, [&](std::string_view piece) {
      if (partial.length() + piece.size() > feed.size) {
        partial.removeFile();
        throw UpdateError(FailureKind::integrity,
                          url + ": longer than the " + std::to_string(feed.size) + " bytes listed");
      }
      partial.append(piece);
      report();
    });
  }
  if (partial.length() != feed.size) {
    partial.removeFile();
    throw UpdateError(FailureKind::integrity, url + ": " + std::to_string(partial.length()) +
                                                  " bytes instead of the " +
                                                  std::to_string(feed.size) + " listed");
  }
  if (auto digest = partial.finishHex(); digest != feed.sha256) {
    partial.removeFile();
    throw UpdateError(FailureKind::integrity,
                      url + ": SHA-256 " + digest + " instead of the listed " + feed.sha256);
  }
  partial.moveTo(target);
  return target;
}

}  // namespace kaldra::update
