#include "service/transport/cwinsock.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace sentrel {
namespace {

// Whether an OpenSocket of this process has started the socket library. Process-wide, as the
// library's own start count is; only the logger thread opens sockets.
std::atomic<bool> g_library_started{false};

void StartLibraryOnce(platform::Network& network) {
  if (g_library_started.load(std::memory_order_relaxed)) return;
  uint16_t granted = 0;
  if (network.Startup(kWinsockVersion11, &granted) != 0) return;
  if (granted == kWinsockVersion11) {
    g_library_started.store(true, std::memory_order_relaxed);
  } else {
    static_cast<void>(network.Cleanup());  // undoes the start; nothing depends on its result
  }
}

bool StartsWithDigit(const char* text) { return text[0] >= '0' && text[0] <= '9'; }

}  // namespace

CWinSock::CWinSock(platform::Network& network, platform::DebugOutput& debug,
                   platform::AbortCheck abort, int connect_timeout_ms)
    : network_(network),
      debug_(debug),
      abort_(std::move(abort)),
      connect_timeout_ms_(connect_timeout_ms) {}

bool CWinSock::Aborted() {
  if (abort_ && abort_()) return true;
  if (connecting_ && std::chrono::steady_clock::now() >= connect_deadline_) {
    connect_timed_out_ = true;
    return true;
  }
  return false;
}

CWinSock::~CWinSock() {
  if (!socket_) return;
  const int r = socket_->Close();
  if (r != 0) TraceError("\nError %d calling CWinSock:~CWinSock()!\n", r);
  socket_.reset();
}

void CWinSock::ForgetLibraryStartForTesting() {
  g_library_started.store(false, std::memory_order_relaxed);
}

void CWinSock::TraceError(const char* format, int code) {
  if (!Trace()) return;
  char line[128];
  std::snprintf(line, sizeof line, format, code);
  debug_.WriteAnsi(line);
}

intptr_t CWinSock::OpenSocket(int family, int type, int protocol) {
  StartLibraryOnce(network_);
  socket_.reset();
  if (network_.CreateSocket(family, type, protocol, &socket_) != 0 || !socket_) {
    socket_.reset();
    debug_.WriteAnsi("CWinSock::OpenSocket() - couldn't get socket!\r\n");
    return platform::kInvalidSocket;
  }
  return socket_->Handle();
}

int CWinSock::SetTarget(const char* host, uint16_t port) {
  if (!host) host = "127.0.0.1";
  target_family_ = platform::kAfInet;
  target_port_ = platform::HostToNetworkPort(port);
  uint32_t address = 0;
  bool converted = true;
  if (StartsWithDigit(host)) {
    converted = network_.ParseAddress(host, &address);
  } else if (network_.ResolveHost(host, &address) != 0) {
    CloseSocket();
    debug_.WriteAnsi("Error resolving host\r\n");
    return 1;
  }
  target_address_ = converted ? address : 0xFFFFFFFFu;  // INADDR_NONE, as inet_addr gives

  debug_.WriteAnsi("Trying connect\r\n");
  int error;
  if (!socket_) {
    error = platform::kWsaEnotsock;
  } else if (!converted) {
    // A text that is no dotted address names no host: fail as a connect to INADDR_NONE does,
    // without sending anything anywhere.
    error = platform::kWsaEaddrnotavail;
  } else {
    connect_deadline_ =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(connect_timeout_ms_);
    connecting_ = true;
    connect_timed_out_ = false;
    // The check stays with the socket for its sends; only the connect has the deadline.
    error = socket_->Connect(target_address_, target_port_, [this] { return Aborted(); });
    connecting_ = false;
    if (error == platform::kWsaEintr && connect_timed_out_) error = platform::kWsaEtimedout;
  }
  debug_.WriteAnsi("Done connect\r\n");
  if (error != 0) {
    debug_.WriteAnsi("Error --> Cleanup!\r\n");
    CloseSocket();
    return error;
  }
  return 0;
}

int CWinSock::Send(const char* text) {
  if (!text) return -1;
  return Send(std::string_view(text, std::strlen(text)));
}

int CWinSock::Send(std::string_view bytes) {
  size_t sent = 0;
  const int r = socket_ ? socket_->Send(bytes.data(), bytes.size(), &sent) : platform::kWsaEnotsock;
  if (r != 0) {
    TraceError("CWinSock::Send - SocketError Status %d \r\n", r);
    return -1;
  }
  return static_cast<int>(sent);
}

int CWinSock::Receive(char* buffer, int size, int timeout_ms) {
  buffer[0] = '\0';
  size_t received = 0;
  int r = platform::kWsaEnotsock;
  if (socket_ && size >= 0) {
    r = socket_->Receive(buffer, static_cast<size_t>(size), &received, timeout_ms, abort_);
  }
  if (r != 0) {
    TraceError("CWinSock::Receive - SocketError Status %d \r\n", r);
    buffer[0] = '\0';
    return 0;
  }
  buffer[received] = '\0';
  return static_cast<int>(received);
}

void CWinSock::CloseSocket() {
  if (!socket_) return;
  const int r = socket_->Close();
  if (r != 0) TraceError("\nError %d calling CWinSock::CloseSocket()!\n", r);
  socket_.reset();
}

const char* CWinSock::GetLocalHostName() {
  std::string name;
  if (network_.GetHostName(&name) != 0) name = "unresolvable host";
  const size_t n = std::min(name.size(), sizeof host_name_ - 1);
  std::memcpy(host_name_, name.data(), n);
  host_name_[n] = '\0';
  return host_name_;
}

int StartSocketLibrary(platform::Network& network) {
  uint16_t granted = 0;
  if (network.Startup(kWinsockVersion11, &granted) != 0) return 1;
  if (granted != kWinsockVersion11) {
    static_cast<void>(network.Cleanup());  // undoes the start; the answer is 2 either way
    return 2;
  }
  return 0;
}

// A clean-up that fails leaves nothing the caller could undo.
void CleanupSocketLibrary(platform::Network& network) { static_cast<void>(network.Cleanup()); }

}  // namespace sentrel
