// HTTP GET on an emulated computer, through libcurl, which is loaded at the first Get (see
// curl_library.h); without it every Get answers kErrorModNotFound. A host name is looked up in
// the computer's hosts file first (so a test can point any name at a local server), then by the
// host's resolver. No proxy is used: the emulated computer has none configured.
#ifndef PLATFORM_EMULATED_HTTP_H_
#define PLATFORM_EMULATED_HTTP_H_

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/http.h"

namespace platform::emulated {

// The run-time name of libcurl (ABI 4, the one its headers describe).
inline constexpr char kCurlLibraryName[] = "libcurl.so.4";

// The hosts file's address of a name (network byte order); false when the file has none.
using HostsLookup = std::function<bool(std::string_view name, uint32_t* address)>;

class EmulatedHttp : public Http {
 public:
  // `curl_soname`: the library to load (a test names one that does not exist).
  explicit EmulatedHttp(HostsLookup hosts, std::string curl_soname = kCurlLibraryName);

  [[nodiscard]] Result Get(std::u16string_view url, uint32_t timeout_ms,
                           HttpResponse* response) override;

 private:
  HostsLookup hosts_;
  std::string curl_soname_;
};

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_HTTP_H_
