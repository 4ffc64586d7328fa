#include "updater/transfer.h"

#include <curl/curl.h>

#include <exception>
#include <mutex>
#include <stdexcept>

#include "updater/failure.h"

namespace kaldra::update {

namespace {

struct Receiver {
  const std::function<void(std::string_view)>* sink;
  std::exception_ptr error;
};

// Exceptions must not cross libcurl's C frames: keep the first and abort the transfer.
std::size_t receive(char* data, std::size_t, std::size_t size, void* user) {
  auto* receiver = static_cast<Receiver*>(user);
  try {
    (*receiver->sink)(std::string_view(data, size));
    return size;
  } catch (...) {
    receiver->error = std::current_exception();
    return CURL_WRITEFUNC_ERROR;
  }
}

}  // namespace

Transfer::Transfer() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
  curl_ = curl_easy_init();
  if (curl_ == nullptr) throw std::runtime_error("libcurl cannot start");
  CURL* curl = static_cast<CURL*>(curl_);
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "file,http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 30L);
  // A connection that delivers nothing for a minute is as good as gone.
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, 60L);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, 1L << 20);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "kaldra-update/" KALDRA_UPDATER_VERSION);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, receive);
}

Transfer::~Transfer() {
  curl_easy_cleanup(static_cast<CURL*>(curl_));
}

void Transfer::fetch(const std::string& url, const std::function<void(std::string_view)>& sink) {
  CURL* curl = static_cast<CURL*>(curl_);
  Receiver receiver{&sink, nullptr};
  char message[CURL_ERROR_SIZE] = "";
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &receiver);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, message);
  CURLcode code = curl_easy_perform(curl);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
  if (receiver.error) std::rethrow_exception(receiver.error);
  if (code != CURLE_OK) {
    std::string reason = *message ? message : curl_easy_strerror(code);
    throw UpdateError(FailureKind::network, "cannot fetch " + url + ": " + reason);
  }
}

}  // namespace kaldra::update
