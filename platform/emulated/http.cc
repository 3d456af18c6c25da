#include "platform/emulated/http.h"

#include <arpa/inet.h>
#include <curl/curl.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/code_page.h"
#include "platform/emulated/curl_library.h"

namespace platform::emulated {
namespace {

constexpr int kMaxRedirects = 10;

struct CurlDeleter {
  const CurlLibrary* curl;
  void operator()(CURL* c) const { curl->easy_cleanup(c); }
  void operator()(CURLU* u) const { curl->url_cleanup(u); }
  void operator()(curl_slist* l) const { curl->slist_free_all(l); }
};
template <typename T>
using CurlPtr = std::unique_ptr<T, CurlDeleter>;

// One part of a parsed address, empty when it has none.
std::string Part(const CurlLibrary& curl, CURLU* url, CURLUPart part, unsigned flags = 0) {
  char* text = nullptr;
  if (curl.url_get(url, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
  std::string out = text;
  curl.free(text);
  return out;
}

[[nodiscard]] Result FromCurl(CURLcode code) {
  switch (code) {
    case CURLE_OK:
      return kSuccess;
    case CURLE_OPERATION_TIMEDOUT:
      return kErrorHttpTimeout;
    case CURLE_URL_MALFORMAT:
      return kErrorHttpInvalidUrl;
    case CURLE_UNSUPPORTED_PROTOCOL:
      return kErrorHttpUnrecognizedScheme;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kErrorHttpNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kErrorHttpCannotConnect;
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_BAD_CONTENT_ENCODING:
      return kErrorHttpInvalidServerResponse;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return kErrorHttpSecureFailure;
    default:
      return kErrorHttpConnectionError;
  }
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  static_cast<HttpResponse*>(user)->body.append(data, size * count);
  return size * count;
}

// Header lines of every answer arrive here; a status line starts a new set, so only the final
// answer's headers remain.
size_t OnHeader(char* data, size_t size, size_t count, void* user) {
  auto* response = static_cast<HttpResponse*>(user);
  std::string_view line(data, size * count);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) {
    response->headers.clear();
  } else if (const size_t colon = line.find(':'); colon != std::string_view::npos) {
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) {
      value.remove_prefix(1);
    }
    response->headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
  }
  return size * count;
}

}  // namespace

EmulatedHttp::EmulatedHttp(HostsLookup hosts, std::string curl_soname)
    : hosts_(std::move(hosts)), curl_soname_(std::move(curl_soname)) {}

Result EmulatedHttp::Get(std::u16string_view url16, uint32_t timeout_ms, HttpResponse* response) {
  std::string load_error;
  const CurlLibrary* library = LoadCurlLibrary(curl_soname_, &load_error);
  if (!library) return kErrorModNotFound;
  const CurlLibrary& lib = *library;
  const CurlDeleter deleter{library};
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string url = Utf16ToUtf8(url16);
  for (int hop = 0; hop <= kMaxRedirects; ++hop) {
    CurlPtr<CURLU> parsed(lib.url(), deleter);
    if (!parsed || lib.url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) {
      return kErrorHttpInvalidUrl;
    }
    const std::string scheme = Part(lib, parsed.get(), CURLUPART_SCHEME);
    if (scheme != "http" && scheme != "https") return kErrorHttpUnrecognizedScheme;
    const std::string host = Part(lib, parsed.get(), CURLUPART_HOST);
    const std::string port = Part(lib, parsed.get(), CURLUPART_PORT, CURLU_DEFAULT_PORT);

    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return kErrorHttpTimeout;

    CurlPtr<CURL> curl(lib.easy_init(), deleter);
    if (!curl) return kErrorNotEnoughMemory;
    CurlPtr<curl_slist> resolve(nullptr, deleter);
    uint32_t address = 0;
    if (!host.empty() && hosts_ && hosts_(host, &address)) {
      char dotted[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &address, dotted, sizeof dotted);
      const std::string entry = host + ":" + port + ":" + dotted;
      resolve.reset(lib.slist_append(nullptr, entry.c_str()));
    }
    HttpResponse answer;
    CURL* c = curl.get();
    lib.easy_setopt(c, CURLOPT_URL, url.c_str());
    lib.easy_setopt(c, CURLOPT_HTTPGET, 1L);
    lib.easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    lib.easy_setopt(c, CURLOPT_PROXY, "");
    lib.easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    lib.easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(left.count()));
    lib.easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(left.count()));
    if (resolve) lib.easy_setopt(c, CURLOPT_RESOLVE, resolve.get());
    lib.easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
    lib.easy_setopt(c, CURLOPT_WRITEDATA, &answer);
    lib.easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
    lib.easy_setopt(c, CURLOPT_HEADERDATA, &answer);
    const Result r = FromCurl(lib.easy_perform(c));
    if (r != kSuccess) return r;
    long status = 0;
    lib.easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
    answer.status = static_cast<uint32_t>(status);
    char* location = nullptr;
    if (status >= 300 && status < 400 &&
        lib.easy_getinfo(c, CURLINFO_REDIRECT_URL, &location) == CURLE_OK && location) {
      url = location;  // already made absolute
      continue;
    }
    *response = std::move(answer);
    return kSuccess;
  }
  return kErrorHttpRedirectFailed;
}

}  // namespace platform::emulated
