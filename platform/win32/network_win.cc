// Windows Sockets through ws2_32: thin calls, errors from WSAGetLastError.

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

// Longest wait between two looks at the abort check.
constexpr int kSliceMs = 50;

enum class WaitKind { kRead, kConnect };

// Waits in slices for the socket to become readable or (kConnect) for a connect to finish,
// asking `abort` between slices. 0 when ready, kWsaEintr when aborted, kWsaEtimedout after
// `timeout_ms` (-1: no limit), or the error of select.
int WaitFor(SOCKET s, WaitKind kind, int timeout_ms, const AbortCheck& abort) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    if (abort && abort()) return kWsaEintr;
    int slice = kSliceMs;
    if (timeout_ms >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      slice = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(slice, left)));
    }
    fd_set ready, failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(s, &ready);
    FD_SET(s, &failed);
    timeval tv{slice / 1000, (slice % 1000) * 1000};
    const int n = kind == WaitKind::kRead ? select(0, &ready, nullptr, &failed, &tv)
                                          : select(0, nullptr, &ready, &failed, &tv);
    if (n == SOCKET_ERROR) return WSAGetLastError();
    if (n > 0) return 0;
    if (timeout_ms >= 0 && slice == 0) return kWsaEtimedout;
  }
}

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = port;
  sa.sin_addr.s_addr = address;
  return sa;
}

class Win32Socket : public Socket {
 public:
  explicit Win32Socket(SOCKET s) : s_(s) {}
  ~Win32Socket() override {
    if (s_ != INVALID_SOCKET) closesocket(s_);
  }

  intptr_t Handle() const override { return static_cast<intptr_t>(s_); }

  [[nodiscard]] int Bind(uint32_t address, uint16_t port) override {
    const sockaddr_in sa = MakeAddress(address, port);
    if (bind(s_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
      return WSAGetLastError();
    }
    return 0;
  }

  // A non-blocking connect watched with select in slices, so that the service stop need not
  // wait for the connect time-out; the socket is blocking again afterwards.
  [[nodiscard]] int Connect(uint32_t address, uint16_t port, const AbortCheck& abort) override {
    u_long on = 1, off = 0;
    ioctlsocket(s_, FIONBIO, &on);
    const sockaddr_in sa = MakeAddress(address, port);
    int result = 0;
    if (connect(s_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
      result = WSAGetLastError();
      if (result == WSAEWOULDBLOCK) {
        result = WaitFor(s_, WaitKind::kConnect, -1, abort);
        if (result == 0) {
          int error = 0;
          int length = sizeof error;
          getsockopt(s_, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
          result = error;
        }
      }
    }
    ioctlsocket(s_, FIONBIO, &off);
    // A peer that stops reading must not hold a blocking send for ever.
    const DWORD send_timeout_ms = 60000;
    setsockopt(s_, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<const char*>(&send_timeout_ms),
               sizeof send_timeout_ms);
    return result;
  }

  [[nodiscard]] int Send(const void* data, size_t size, size_t* sent) override {
    *sent = 0;
    const int n = send(s_, static_cast<const char*>(data), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) return WSAGetLastError();
    *sent = static_cast<size_t>(n);
    return 0;
  }

  [[nodiscard]] int SendTo(const void* data, size_t size, uint32_t address,
                           uint16_t port) override {
    const sockaddr_in sa = MakeAddress(address, port);
    if (sendto(s_, static_cast<const char*>(data), static_cast<int>(size), 0,
               reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == SOCKET_ERROR) {
      return WSAGetLastError();
    }
    return 0;
  }

  [[nodiscard]] int Receive(void* buffer, size_t size, size_t* received, int timeout_ms,
                            const AbortCheck& abort) override {
    *received = 0;
    if (int r = WaitFor(s_, WaitKind::kRead, timeout_ms, abort)) return r;
    const int n = recv(s_, static_cast<char*>(buffer), static_cast<int>(size), 0);
    if (n == SOCKET_ERROR) return WSAGetLastError();
    *received = static_cast<size_t>(n);
    return 0;
  }

  [[nodiscard]] int Close() override {
    if (s_ == INVALID_SOCKET) return WSAENOTSOCK;
    const int r = closesocket(s_) == SOCKET_ERROR ? WSAGetLastError() : 0;
    s_ = INVALID_SOCKET;
    return r;
  }

 private:
  SOCKET s_;
};

class Win32Network : public Network {
 public:
  [[nodiscard]] int Startup(uint16_t version, uint16_t* granted) override {
    WSADATA wsa{};
    const int r = WSAStartup(version, &wsa);
    if (r == 0) *granted = wsa.wVersion;
    return r;
  }

  [[nodiscard]] int Cleanup() override {
    return WSACleanup() == SOCKET_ERROR ? WSAGetLastError() : 0;
  }

  [[nodiscard]] int CreateSocket(int family, int type, int protocol,
                                 std::unique_ptr<Socket>* out) override {
    out->reset();
    const SOCKET s = socket(family, type, protocol);
    if (s == INVALID_SOCKET) return WSAGetLastError();
    *out = std::make_unique<Win32Socket>(s);
    return 0;
  }

  [[nodiscard]] int GetHostName(std::string* name) override {
    char buffer[256] = {};
    if (gethostname(buffer, sizeof buffer) == SOCKET_ERROR) return WSAGetLastError();
    buffer[sizeof buffer - 1] = '\0';
    *name = buffer;
    return 0;
  }

  [[nodiscard]] int ResolveHost(std::string_view name, uint32_t* address) override {
    const hostent* host = gethostbyname(std::string(name).c_str());
    if (!host) return WSAGetLastError();
    if (host->h_addrtype != AF_INET || !host->h_addr_list[0]) return WSANO_DATA;
    std::copy_n(host->h_addr_list[0], sizeof *address, reinterpret_cast<char*>(address));
    return 0;
  }

  bool ParseAddress(std::string_view text, uint32_t* address) override {
    const std::string s(text);
    const unsigned long value = inet_addr(s.c_str());
    // INADDR_NONE is also the broadcast address, which is a valid text.
    if (value == INADDR_NONE && s.rfind("255.255.255.255", 0) != 0) return false;
    *address = static_cast<uint32_t>(value);
    return true;
  }

  bool ServicePort(std::string_view service, std::string_view protocol, uint16_t* port) override {
    const std::string name(service), proto(protocol);
    const servent* entry = getservbyname(name.c_str(), proto.empty() ? nullptr : proto.c_str());
    if (!entry) return false;
    *port = static_cast<uint16_t>(entry->s_port);
    return true;
  }
};

}  // namespace

std::unique_ptr<Network> MakeNetwork() { return std::make_unique<Win32Network>(); }

}  // namespace platform::win32
