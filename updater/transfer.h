// Fetching from the channel with libcurl: file://, http:// and https:// alike.
//
//   Transfer transfer;
//   transfer.fetch(url, [&](std::string_view piece) { out.append(piece); });
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace kaldra::update {

// One connection's worth of state: successive fetches from the same server reuse the
// connection. Not thread-safe.
class Transfer {
 public:
  Transfer();
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Hands the body of `url` to `sink` piece by piece as it arrives. An exception from
  // `sink` aborts the transfer and is rethrown as it is. Throws UpdateError (network)
  // when the URL cannot be fetched whole: unreachable, missing, an HTTP error status, a
  // stalled or broken connection.
  void fetch(const std::string& url, const std::function<void(std::string_view)>& sink);

  // Like fetch, asking only for the bytes from offset `from` on. Before the first piece,
  // `onStart` hears where the body begins: `from` when the server sent that range, 0
  // when it sends the whole body instead.
  void fetchFrom(const std::string& url, std::uint64_t from,
                 const std::function<void(std::uint64_t)>& onStart,
                 const std::function<void(std::string_view)>& sink);

 private:
  void* curl_;
};

}  // namespace kaldra::update
