// HTTP GET through WinHTTP (synchronous). WinHTTP follows redirects itself (at most 10) and
// uses the computer's proxy settings.

#include <windows.h>
#include <winhttp.h>

#include <chrono>
#include <string>
#include <vector>

#include "platform/code_page.h"
#include "platform/win32/last_error_win.h"
#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// An HINTERNET, closed on destruction.
class Internet {
 public:
  explicit Internet(HINTERNET h) : h_(h) {}
  ~Internet() {
    if (h_) WinHttpCloseHandle(h_);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  HINTERNET get() const { return h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  HINTERNET h_;
};

// "Name: value" lines after the status line of WINHTTP_QUERY_RAW_HEADERS_CRLF.
void ParseHeaders(const std::u16string& raw, HttpResponse* response) {
  size_t pos = raw.find(u"\r\n");
  while (pos != std::u16string::npos && pos + 2 < raw.size()) {
    const size_t start = pos + 2;
    const size_t end = raw.find(u"\r\n", start);
    const std::u16string line = raw.substr(start, end == std::u16string::npos ? end : end - start);
    const size_t colon = line.find(u':');
    if (colon != std::u16string::npos) {
      size_t value = colon + 1;
      while (value < line.size() && (line[value] == u' ' || line[value] == u'\t')) ++value;
      response->headers.emplace_back(Utf16ToUtf8(line.substr(0, colon)),
                                     Utf16ToUtf8(line.substr(value)));
    }
    pos = end;
  }
}

class Win32Http : public Http {
 public:
  [[nodiscard]] Result Get(std::u16string_view url, uint32_t timeout_ms,
                           HttpResponse* response) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    std::wstring address = ToWide(url);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(address.c_str(), 0, 0, &parts)) return LastError();
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
      return kErrorHttpUnrecognizedScheme;
    }
    const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
    path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";

    Internet session(WinHttpOpen(L"Sentrel", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session) return LastError();
    const int t = static_cast<int>(timeout_ms > 0x7fffffffu ? 0x7fffffffu : timeout_ms);
    if (!WinHttpSetTimeouts(session.get(), t, t, t, t)) return LastError();
    Internet connection(WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
    if (!connection) return LastError();
    Internet request(
        WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                           WINHTTP_DEFAULT_ACCEPT_TYPES,
                           parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0));
    if (!request) return LastError();
    if (!WinHttpSendRequest(request.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                            WINHTTP_NO_REQUEST_DATA, 0, 0, 0) ||
        !WinHttpReceiveResponse(request.get(), nullptr)) {
      return LastError();
    }
    HttpResponse answer;
    DWORD status = 0, length = sizeof status;
    if (!WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                             WINHTTP_HEADER_NAME_BY_INDEX, &status, &length,
                             WINHTTP_NO_HEADER_INDEX)) {
      return LastError();
    }
    answer.status = status;
    DWORD raw_size = 0;
    WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &raw_size, WINHTTP_NO_HEADER_INDEX);
    if (raw_size > 0) {
      std::vector<wchar_t> raw(raw_size / sizeof(wchar_t) + 1);
      if (WinHttpQueryHeaders(request.get(), WINHTTP_QUERY_RAW_HEADERS_CRLF,
                              WINHTTP_HEADER_NAME_BY_INDEX, raw.data(), &raw_size,
                              WINHTTP_NO_HEADER_INDEX)) {
        ParseHeaders(FromWide(raw.data(), raw_size / sizeof(wchar_t)), &answer);
      }
    }
    // WinHTTP bounds each wait; the whole call is bounded here.
    for (;;) {
      if (Clock::now() > deadline) return kErrorHttpTimeout;
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request.get(), &available)) return LastError();
      if (available == 0) break;
      std::string chunk(available, '\0');
      DWORD read = 0;
      if (!WinHttpReadData(request.get(), chunk.data(), available, &read)) return LastError();
      if (read == 0) break;
      answer.body.append(chunk.data(), read);
    }
    *response = std::move(answer);
    return kSuccess;
  }
};

}  // namespace

std::unique_ptr<Http> MakeHttp() { return std::make_unique<Win32Http>(); }

}  // namespace platform::win32
