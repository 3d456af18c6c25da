// One HTTP GET with a time-out: the status, the headers and the body of the answer.
//
// Blocking: the call blocks the calling thread until the answer is complete, an error occurs or
// the time-out has passed; a window program calls it from a worker thread or accepts the wait.
// Any thread; calls are independent of each other.
#ifndef PLATFORM_HTTP_H_
#define PLATFORM_HTTP_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/result.h"

namespace platform {

// Errors, numbered as WinHTTP numbers them.
inline constexpr Result kErrorHttpTimeout = 12002;
inline constexpr Result kErrorHttpInvalidUrl = 12005;
inline constexpr Result kErrorHttpUnrecognizedScheme = 12006;
inline constexpr Result kErrorHttpNameNotResolved = 12007;
inline constexpr Result kErrorHttpCannotConnect = 12029;
inline constexpr Result kErrorHttpConnectionError = 12030;
inline constexpr Result kErrorHttpInvalidServerResponse = 12152;
inline constexpr Result kErrorHttpRedirectFailed = 12156;
inline constexpr Result kErrorHttpSecureFailure = 12175;

struct HttpResponse {
  uint32_t status = 0;  // 200, 404, ...: any status is a successful call
  // The header lines of the final answer in the order received, names as sent.
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;  // the bytes as received (no character set conversion)
};

class Http {
 public:
  virtual ~Http() = default;

  // GET `url` (http or https). Redirects are followed (at most 10). `timeout_ms` bounds the
  // whole call. kSuccess with any status, or one of the errors above: kErrorHttpTimeout when the
  // time-out passed, kErrorHttpNameNotResolved, kErrorHttpCannotConnect, ...
  [[nodiscard]] virtual Result Get(std::u16string_view url, uint32_t timeout_ms,
                                   HttpResponse* response) = 0;
};

}  // namespace platform

#endif  // PLATFORM_HTTP_H_
