#include "updater/transfer.h"

#include <exception>
#include <stdexcept>

#include "updater/curl_library.h"
#include "updater/failure.h"

namespace kaldra::update {

namespace {

struct Receiver {
  CURL* curl;
  const std::function<void(std::string_view)>* sink;
  std::exception_ptr error;
  std::uint64_t from = 0;
  const std::function<void(std::uint64_t)>* onStart = nullptr;
};

// Where the body begins: a partial answer (206) holds the range asked for, and a file
// URL honours it without any status; a whole answer (200) starts at 0.
std::uint64_t bodyStart(const Receiver& receiver) {
  long status = 0;
  curlLibrary().easyGetinfo(receiver.curl, CURLINFO_RESPONSE_CODE, &status);
  return status == 206 || status == 0 ? receiver.from : 0;
}

// Exceptions must not cross libcurl's C frames: keep the first and abort the transfer.
std::size_t receive(char* data, std::size_t, std::size_t size, void* user) {
  auto* receiver = static_cast<Receiver*>(user);
  try {
    if (receiver->onStart) {
      (*receiver->onStart)(bodyStart(*receiver));
      receiver->onStart = nullptr;
    }
    (*receiver->sink)(std::string_view(data, size));
    return size;
  } catch (...) {
    receiver->error = std::current_exception();
    return CURL_WRITEFUNC_ERROR;
  }
}

}  // namespace

Transfer::Transfer() {
  const CurlLibrary& lib = curlLibrary();
  curl_ = lib.easyInit();
  if (curl_ == nullptr) throw std::runtime_error("libcurl cannot start");
  CURL* curl = static_cast<CURL*>(curl_);
  lib.easySetopt(curl, CURLOPT_PROTOCOLS_STR, "file,http,https");
  lib.easySetopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  lib.easySetopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  lib.easySetopt(curl, CURLOPT_MAXREDIRS, 5L);
  lib.easySetopt(curl, CURLOPT_FAILONERROR, 1L);
  lib.easySetopt(curl, CURLOPT_NOSIGNAL, 1L);
  lib.easySetopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A connection that delivers nothing for a minute is as good as gone.
  lib.easySetopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  lib.easySetopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  lib.easySetopt(curl, CURLOPT_BUFFERSIZE, 1L << 20);
  lib.easySetopt(curl, CURLOPT_USERAGENT, "kaldra-update/" KALDRA_UPDATER_VERSION);
  lib.easySetopt(curl, CURLOPT_WRITEFUNCTION, receive);
}

Transfer::~Transfer() {
  curlLibrary().easyCleanup(static_cast<CURL*>(curl_));
}

void Transfer::fetch(const std::string& url, const std::function<void(std::string_view)>& sink) {
  fetchFrom(url, 0, nullptr, sink);
}

void Transfer::fetchFrom(const std::string& url, std::uint64_t from,
                         const std::function<void(std::uint64_t)>& onStart,
                         const std::function<void(std::string_view)>& sink) {
  const CurlLibrary& lib = curlLibrary();
  CURL* curl = static_cast<CURL*>(curl_);
  Receiver receiver{curl, &sink, nullptr, from, onStart ? &onStart : nullptr};
  char message[CURL_ERROR_SIZE] = "";
  std::string range = std::to_string(from) + "-";
  lib.easySetopt(curl, CURLOPT_URL, url.c_str());
  lib.easySetopt(curl, CURLOPT_RANGE, from > 0 ? range.c_str() : nullptr);
  lib.easySetopt(curl, CURLOPT_WRITEDATA, &receiver);
  lib.easySetopt(curl, CURLOPT_ERRORBUFFER, message);
  CURLcode code = lib.easyPerform(curl);
  lib.easySetopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  lib.easySetopt(curl, CURLOPT_RANGE, nullptr);
  if (receiver.error) std::rethrow_exception(receiver.error);
  if (code != CURLE_OK) {
    std::string reason = *message ? message : lib.easyStrerror(code);
    throw UpdateError(FailureKind::network, "cannot fetch " + url + ": " + reason);
  }
}

}  // namespace kaldra::update
