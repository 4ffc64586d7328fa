// Fetching from the channel with libcurl: file://, http:// and https:// alike.
//
//   Transfer transfer(NetworkSettings::fromEnvironment());
//   transfer.fetch(url, [&](std::string_view piece) { out.append(piece); });
//
// Redirects are followed (at most five), but never from https to anything else nor to a
// scheme other than http(s). A transfer that stalls ends within the stall limit.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "updater/base/failure.h"
#include "updater/net/network_settings.h"

namespace kaldra::update {

// A network failure, with what the caller needs to decide what to do next.
class TransferError : public UpdateError {
 public:
  enum class Cause {
    transient,     // refused, reset, cut short, stalled, a 5xx status: worth another try
    missing,       // no such file on the channel (404, 410, a missing file:// path)
    rangeRefused,  // the server cannot continue at the asked offset (416)
    refused,       // anything else: bad certificate, a forbidden redirect, 403, ...
  };
  TransferError(Cause cause, const std::string& detail, long httpStatus = 0)
      : UpdateError(FailureKind::network, detail), cause_(cause), httpStatus_(httpStatus) {}
  Cause cause() const { return cause_; }
  // The server's answer, such as 403; 0 when it gave none.
  long httpStatus() const { return httpStatus_; }
  bool transient() const { return cause_ == Cause::transient; }
  bool missing() const { return cause_ == Cause::missing; }

 private:
  Cause cause_;
  long httpStatus_ = 0;
};

// Whether a fetch that failed with `error` on its `attempt`-th try (counting from 1) is
// tried again; if so, first waits the pause before that try (doubling with each).
bool waitToRetry(const TransferError& error, int attempt, const NetworkSettings& settings);

// One connection's worth of state: successive fetches from the same server reuse the
// connection. Not thread-safe; one per thread.
class Transfer {
 public:
  explicit Transfer(NetworkSettings settings = {});
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  using Sink = std::function<void(std::string_view)>;

  // Hands the body of `url` to `sink` piece by piece as it arrives. An exception from
  // `sink` aborts the transfer and is rethrown as it is. Throws TransferError when the URL
  // cannot be fetched whole.
  void fetch(const std::string& url, const Sink& sink);

  // As fetch, but asks for the body from byte `from` on (an HTTP range, or the offset of a
  // file:// URL). Before the first piece, and also for an empty body, `begin` hears where
  // the body really starts: `from`, or 0 when the server sends the whole file instead.
  // With a `deadline`, a body not complete by then fails for good (TransferError, refused).
  void fetchFrom(const std::string& url, std::uint64_t from,
                 const std::function<void(std::uint64_t)>& begin, const Sink& sink,
                 std::optional<std::chrono::steady_clock::time_point> deadline = {});

  // The `size` bytes of `url` from byte `from` on (an HTTP range), to `sink`; from a server
  // that sends the whole body instead, the same bytes out of it. Throws TransferError, and
  // UpdateError (integrity) when the body ends before them.
  void fetchRange(const std::string& url, std::uint64_t from, std::uint64_t size, const Sink& sink);

 private:
  struct Receiver;
  void perform(const std::string& url, Receiver& receiver);

  void* curl_;
  std::chrono::seconds stallLimit_;
  std::optional<std::uint64_t> last_;  // the last byte of fetchRange's range
};

}  // namespace kaldra::update
