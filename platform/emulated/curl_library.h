// libcurl, loaded at run time on first use. Only the configuration program fetches anything over
// HTTP; linking libcurl into every program of the emulated computer would map it and the thirty
// or so libraries it pulls in (TLS, Kerberos, LDAP, ...) into the service as well, several
// megabytes of resident memory that the service never touches.
#ifndef PLATFORM_EMULATED_CURL_LIBRARY_H_
#define PLATFORM_EMULATED_CURL_LIBRARY_H_

#include <curl/curl.h>

#include <string>

namespace platform::emulated {

// The libcurl functions the HTTP implementation calls. Any thread.
struct CurlLibrary {
  decltype(&::curl_easy_setopt) easy_setopt;
  decltype(&::curl_easy_getinfo) easy_getinfo;
  decltype(&::curl_easy_init) easy_init;
  decltype(&::curl_easy_perform) easy_perform;
  decltype(&::curl_easy_cleanup) easy_cleanup;
  decltype(&::curl_url) url;
  decltype(&::curl_url_set) url_set;
  decltype(&::curl_url_get) url_get;
  decltype(&::curl_url_cleanup) url_cleanup;
  decltype(&::curl_slist_append) slist_append;
  decltype(&::curl_slist_free_all) slist_free_all;
  decltype(&::curl_free) free;
};

// The library named `soname`, loaded and initialised (curl_global_init once per process), or
// nullptr with the loader's reason in `*error` when it is missing or lacks a function. Once
// loaded, a library stays loaded for the life of the process (libcurl keeps process-wide state),
// and a second call with the same name answers the same functions.
const CurlLibrary* LoadCurlLibrary(const std::string& soname, std::string* error);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_CURL_LIBRARY_H_
