// libcurl, loaded when the first transfer needs it. Its dependency tree costs several
// milliseconds at every start of the tool, and "texts", which the launcher waits for
// before its window shows, never transfers anything.
#pragma once

#include <curl/curl.h>

namespace kaldra::update {

struct CurlLibrary {
  CURLcode (*globalInit)(long flags);
  CURL* (*easyInit)();
  CURLcode (*easySetopt)(CURL* handle, CURLoption option, ...);
  CURLcode (*easyPerform)(CURL* handle);
  CURLcode (*easyGetinfo)(CURL* handle, CURLINFO info, ...);
  void (*easyCleanup)(CURL* handle);
  const char* (*easyStrerror)(CURLcode code);
};

// The loaded library, initialised once. Throws UpdateError (network) naming what is
// missing when libcurl cannot be loaded.
const CurlLibrary& curlLibrary();

}  // namespace kaldra::update
