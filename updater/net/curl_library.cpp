#include "updater/net/curl_library.h"

#include <dlfcn.h>

#include <string>

#include "updater/base/failure.h"

namespace kaldra::update {

namespace {

template <typename Function>
void bind(void* library, const char* name, Function& slot) {
  slot = reinterpret_cast<Function>(dlsym(library, name));
  if (slot == nullptr)
    throw UpdateError(FailureKind::network, std::string("libcurl lacks ") + name);
}

CurlLibrary load() {
  void* library = dlopen("libcurl.so.4", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr)
    throw UpdateError(FailureKind::network, std::string("cannot load libcurl: ") + dlerror());
  CurlLibrary curl{};
  bind(library, "curl_global_init", curl.globalInit);
  bind(library, "curl_easy_init", curl.easyInit);
  bind(library, "curl_easy_setopt", curl.easySetopt);
  bind(library, "curl_easy_perform", curl.easyPerform);
  bind(library, "curl_easy_getinfo", curl.easyGetinfo);
  bind(library, "curl_easy_cleanup", curl.easyCleanup);
  bind(library, "curl_easy_strerror", curl.easyStrerror);
  curl.globalInit(CURL_GLOBAL_DEFAULT);
  return curl;  // the library stays loaded for the life of the process
}

}  // namespace

const CurlLibrary& curlLibrary() {
  static const CurlLibrary curl = load();
  return curl;
}

}  // namespace kaldra::update
