#include "platform/emulated/curl_library.h"

#include <dlfcn.h>

#include <map>
#include <memory>
#include <mutex>

namespace platform::emulated {
namespace {

// Looks `name` up in `handle` into `*function`; false when the library lacks it.
template <typename Fn>
bool Find(void* handle, const char* name, Fn* function, std::string* error) {
  *function = reinterpret_cast<Fn>(dlsym(handle, name));
  if (*function) return true;
  *error = std::string("libcurl lacks ") + name;
  return false;
}

std::unique_ptr<CurlLibrary> Load(const std::string& soname, std::string* error) {
  void* handle = dlopen(soname.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* reason = dlerror();
    *error = reason ? reason : "cannot load " + soname;
    return nullptr;
  }
  auto curl = std::make_unique<CurlLibrary>();
  using GlobalInit = decltype(&::curl_global_init);
  GlobalInit global_init = nullptr;
  if (!Find(handle, "curl_global_init", &global_init, error) ||
      !Find(handle, "curl_easy_setopt", &curl->easy_setopt, error) ||
      !Find(handle, "curl_easy_getinfo", &curl->easy_getinfo, error) ||
      !Find(handle, "curl_easy_init", &curl->easy_init, error) ||
      !Find(handle, "curl_easy_perform", &curl->easy_perform, error) ||
      !Find(handle, "curl_easy_cleanup", &curl->easy_cleanup, error) ||
      !Find(handle, "curl_url", &curl->url, error) ||
      !Find(handle, "curl_url_set", &curl->url_set, error) ||
      !Find(handle, "curl_url_get", &curl->url_get, error) ||
      !Find(handle, "curl_url_cleanup", &curl->url_cleanup, error) ||
      !Find(handle, "curl_slist_append", &curl->slist_append, error) ||
      !Find(handle, "curl_slist_free_all", &curl->slist_free_all, error) ||
      !Find(handle, "curl_free", &curl->free, error)) {
    dlclose(handle);
    return nullptr;
  }
  if (global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
    *error = "curl_global_init failed";
    // Left loaded: a failed initialisation may have left state behind that unloading would
    // strand.
    return nullptr;
  }
  return curl;  // the handle stays open for the life of the process
}

}  // namespace

const CurlLibrary* LoadCurlLibrary(const std::string& soname, std::string* error) {
  // Process-wide, as the loaded library is: one entry per name that loaded; a name that failed
  // is tried again at the next call.
  static std::mutex mutex;
  static std::map<std::string, std::unique_ptr<CurlLibrary>> loaded;
  std::lock_guard<std::mutex> lock(mutex);
  if (const auto it = loaded.find(soname); it != loaded.end()) return it->second.get();
  std::unique_ptr<CurlLibrary> curl = Load(soname, error);
  if (!curl) return nullptr;
  return loaded.emplace(soname, std::move(curl)).first->second.get();
}

}  // namespace platform::emulated
