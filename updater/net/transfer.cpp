#include "updater/net/transfer.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <stdexcept>
#include <thread>

#include "updater/net/curl_library.h"

namespace kaldra::update {

namespace {

constexpr int kMaxRedirects = 5;

std::string schemeOf(std::string_view url) {
  auto end = url.find("://");
  std::string scheme(url.substr(0, end == std::string_view::npos ? 0 : end));
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return scheme;
}

bool transientStatus(long status) {
  return status >= 500 || status == 408 || status == 429;
}

TransferError::Cause causeOf(CURLcode code, long status) {
  using Cause = TransferError::Cause;
  switch (code) {
    case CURLE_HTTP_RETURNED_ERROR:
      if (status == 404 || status == 410) return Cause::missing;
      if (status == 416) return Cause::rangeRefused;
      return transientStatus(status) ? Cause::transient : Cause::refused;
    case CURLE_FILE_COULDNT_READ_FILE:
      return Cause::missing;
    case CURLE_BAD_DOWNLOAD_RESUME:
    case CURLE_RANGE_ERROR:
      return Cause::rangeRefused;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return Cause::transient;
    default:
      return Cause::refused;
  }
}

}  // namespace

bool waitToRetry(const TransferError& error, int attempt, const NetworkSettings& settings) {
  if (!error.transient() || attempt >= settings.attempts) return false;
  std::this_thread::sleep_for(settings.firstPause * (1 << std::min(attempt - 1, 10)));
  return true;
}

struct Transfer::Receiver {
  using Clock = std::chrono::steady_clock;

  const Transfer::Sink* sink;
  const std::function<void(std::uint64_t)>* begin;
  std::uint64_t from = 0;
  std::chrono::seconds stallLimit;
  std::optional<Clock::time_point> deadline;
  bool late = false;
  bool started = false;
  bool redirect = false;
  bool stalled = false;
  CURL* curl = nullptr;
  std::exception_ptr error;
  Clock::time_point windowStart = Clock::now();
  curl_off_t windowBytes = 0;

  // libcurl's own low-speed check averages over several seconds, so a burst before a
  // stall hides it for long: judge each window of the stall limit on its own.
  static int progress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
    auto* receiver = static_cast<Receiver*>(user);
    auto now = Clock::now();
    if (receiver->deadline && now > *receiver->deadline) {
      receiver->late = true;
      return 1;
    }
    if (now - receiver->windowStart < receiver->stallLimit) return 0;
    if (received - receiver->windowBytes < NetworkSettings::kStallBytes) {
      receiver->stalled = true;
      return 1;
    }
    receiver->windowStart = now;
    receiver->windowBytes = received;
    return 0;
  }

  // Where the body starts: a 206 answers the range, anything else is the whole body. A
  // file:// URL has no status and always honours its offset.
  void start() {
    started = true;
    long status = 0;
    curlLibrary().easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    redirect = status >= 300 && status < 400;
    if (!redirect && begin != nullptr) (*begin)(status == 200 ? 0 : from);
  }

  // Exceptions must not cross libcurl's C frames: keep the first and abort the transfer.
  static std::size_t receive(char* data, std::size_t, std::size_t size, void* user) {
    auto* receiver = static_cast<Receiver*>(user);
    try {
      if (!receiver->started) receiver->start();
      if (!receiver->redirect) (*receiver->sink)(std::string_view(data, size));
      return size;
    } catch (...) {
      receiver->error = std::current_exception();
      return CURL_WRITEFUNC_ERROR;
    }
  }
};

Transfer::Transfer(NetworkSettings settings) : stallLimit_(settings.stallLimit) {
  const CurlLibrary& lib = curlLibrary();
  curl_ = lib.easyInit();
  if (curl_ == nullptr) throw std::runtime_error("libcurl cannot start");
  CURL* curl = static_cast<CURL*>(curl_);
  lib.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "file,http,https");
  // Redirects are followed by hand, so that each hop's scheme can be checked.
  lib.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  lib.easySetopt(curl, CURLOPT_FAILONERROR, 1L);
  lib.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
  lib.easySetopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(stallLimit_.count()));
  lib.easySetopt(curl, CURLOPT_NOPROGRESS, 0L);
  lib.easySetopt(curl, CURLOPT_XFERINFOFUNCTION, Receiver::progress);
  if (!settings.extraCaFile.empty()) {
    // Added to the system's store, not instead of it.
    lib.easySetopt(curl, CURLOPT_CAINFO, settings.extraCaFile.c_str());
    lib.easySetopt(curl, CURLOPT_CAPATH, "/etc/ssl/certs");
  }
  lib.easySetopt(curl, CURLOPT_BUFFERSIZE, 1L << 20);  // eight transfers: 8 MiB in all
  lib.easySetopt(curl, CURLOPT_USERAGENT, "kaldra-update/" KALDRA_UPDATER_VERSION);
  lib.easySetopt(curl, CURLOPT_WRITEFUNCTION, Receiver::receive);
}

Transfer::~Transfer() {
  curlLibrary().easyCleanup(static_cast<CURL*>(curl_));
}

void Transfer::fetch(const std::string& url, const Sink& sink) {
  fetchFrom(url, 0, {}, sink);
}

void Transfer::fetchRange(const std::string& url, std::uint64_t from, std::uint64_t size,
                          const Sink& sink) {
  struct Enough {};
  std::uint64_t at = 0, skip = 0, given = 0;  // where the body starts; bytes before `from`
  // The range holds for this fetch alone, however it ends.
  last_ = from + size - 1;
  struct Range {
    std::optional<std::uint64_t>& last;
    ~Range() { last.reset(); }
  } range{last_};
  try {
    fetchFrom(
        url, from, [&](std::uint64_t start) { at = start, skip = from - start; },
        [&](std::string_view piece) {
          // A server that sends more than the range: what follows is not wanted.
          if (given == size) throw Enough{};
          auto drop = std::min<std::uint64_t>(skip, piece.size());
          skip -= drop;
          piece.remove_prefix(drop);
          piece = piece.substr(0, size - given);
          given += piece.size();
          if (!piece.empty()) sink(piece);
        });
  } catch (const Enough&) {
  }
  if (given != size)
    throw UpdateError(FailureKind::integrity, url + ": ends before byte " +
                                                  std::to_string(from + size) + " (from " +
                                                  std::to_string(at) + ")");
}

void Transfer::fetchFrom(const std::string& url, std::uint64_t from,
                         const std::function<void(std::uint64_t)>& begin, const Sink& sink,
                         std::optional<std::chrono::steady_clock::time_point> deadline) {
  const CurlLibrary& lib = curlLibrary();
  CURL* curl = static_cast<CURL*>(curl_);
  // A range, unlike a resume offset, lets a server that cannot do ranges send it all.
  std::string range = std::to_string(from) + "-" + (last_ ? std::to_string(*last_) : "");
  lib.easySetopt(curl, CURLOPT_RANGE, from > 0 || last_ ? range.c_str() : nullptr);
  std::string current = url;
  for (int hop = 0;; ++hop) {
    Receiver receiver{.sink = &sink,
                      .begin = begin ? &begin : nullptr,
                      .from = from,
                      .stallLimit = stallLimit_,
                      .deadline = deadline,
                      .curl = curl};
    perform(current, receiver);
    if (!receiver.redirect) {
      if (!receiver.started) receiver.start();
      return;
    }
    char* next = nullptr;
    lib.easyGetinfo(curl, CURLINFO_REDIRECT_URL, &next);
    if (next == nullptr)
      throw TransferError(TransferError::Cause::refused, current + ": redirect without a target");
    // A hop from https to http is refused, so a chain once on https stays there.
    std::string target = next, scheme = schemeOf(target);
    if (scheme != "https" && (scheme != "http" || schemeOf(current) == "https")) {
      throw TransferError(TransferError::Cause::refused,
                          current + ": refused redirect to " + target);
    }
    if (hop == kMaxRedirects)
      throw TransferError(TransferError::Cause::refused, url + ": too many redirects");
    current = std::move(target);
  }
}

void Transfer::perform(const std::string& url, Receiver& receiver) {
  const CurlLibrary& lib = curlLibrary();
  CURL* curl = static_cast<CURL*>(curl_);
  char message[CURL_ERROR_SIZE] = "";
  lib.easySetopt(curl, CURLOPT_URL, url.c_str());
  lib.easySetopt(curl, CURLOPT_WRITEDATA, &receiver);
  lib.easySetopt(curl, CURLOPT_XFERINFODATA, &receiver);
  lib.easySetopt(curl, CURLOPT_ERRORBUFFER, message);
  CURLcode code = lib.easyPerform(curl);
  lib.easySetopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  if (receiver.error) std::rethrow_exception(receiver.error);
  if (code == CURLE_OK) {
    // A redirect without a body never reached the receiver.
    long status = 0;
    lib.easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    receiver.redirect = status >= 300 && status < 400;
    return;
  }
  if (receiver.late)
    throw TransferError(TransferError::Cause::refused, "cannot fetch " + url + ": not in time");
  if (receiver.stalled) {
    throw TransferError(TransferError::Cause::transient,
                        "cannot fetch " + url + ": stalled, fewer than " +
                            std::to_string(NetworkSettings::kStallBytes) + " bytes in " +
                            std::to_string(stallLimit_.count()) + " s");
  }
  long status = 0;
  lib.easyGetinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  std::string reason = *message ? message : lib.easyStrerror(code);
  throw TransferError(causeOf(code, status), "cannot fetch " + url + ": " + reason, status);
}

}  // namespace kaldra::update
