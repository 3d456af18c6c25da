// The socket wrapper of the TCP syslog connections and the SMTP client: one IPv4 socket at a time,
// connected to one target, with the service's debugger trace lines.
#ifndef SERVICE_TRANSPORT_CWINSOCK_H_
#define SERVICE_TRANSPORT_CWINSOCK_H_

#include <chrono>
#include <cstdint>
#include <memory>
#include <string_view>

#include "platform/debug_output.h"
#include "platform/network.h"

namespace sentrel {

// Socket library versions as WSAStartup counts them (low byte major).
inline constexpr uint16_t kWinsockVersion11 = 0x0101;

class CWinSock {
 public:
  // How long Receive waits for data when the caller names no time-out.
  static constexpr int kDefaultReceiveTimeoutMs = 60000;
  // How long SetTarget waits for a connect that neither completes nor is refused (a peer whose
  // listen queue is full, a host that drops the SYN). Windows gives up after about 21 s of SYN
  // retries; a system with more retries would hold the caller for minutes without this bound.
  static constexpr int kDefaultConnectTimeoutMs = 21000;

  // `network` and `debug` must outlive the object. `abort` is asked while a connect, a send or a
  // receive waits; true ends the wait as a failure (the service stop). `connect_timeout_ms`
  // bounds each connect (tests use a short one).
  CWinSock(platform::Network& network, platform::DebugOutput& debug,
           platform::AbortCheck abort = {}, int connect_timeout_ms = kDefaultConnectTimeoutMs);
  virtual ~CWinSock();
  CWinSock(const CWinSock&) = delete;
  CWinSock& operator=(const CWinSock&) = delete;

  // Starts the socket library on the first call in the process (version 1.1, kept only when
  // exactly 1.1 is granted), then creates a socket. Returns its handle, kInvalidSocket on failure.
  intptr_t OpenSocket(int family, int type, int protocol);
  // Connects the open socket to `host` (null: "127.0.0.1") at `port` (host byte order). A host
  // starting with a decimal digit is taken as a dotted address and never looked up. 0 when
  // connected, 1 when the name cannot be resolved, else the Windows Sockets error of the connect
  // (kWsaEtimedout when it did not complete within the connect bound); after any failure the
  // socket is closed.
  int SetTarget(const char* host, uint16_t port);
  // One send call of the whole text (partial sends are not repeated): the bytes sent, or -1 when
  // `text` is null or the send fails.
  int Send(const char* text);
  int Send(std::string_view bytes);
  // One receive call of at most `size` bytes into `buffer`, which must hold size + 1 bytes: it is
  // zero-terminated after the bytes received. 0 with an empty buffer on failure, on time-out
  // (after `timeout_ms`; -1 waits without limit) and when the peer closed the connection.
  int Receive(char* buffer, int size, int timeout_ms = kDefaultReceiveTimeoutMs);
  // Closes the socket if one is open.
  void CloseSocket();
  // The local host name, or "unresolvable host". Valid until the next call on this object.
  const char* GetLocalHostName();

  intptr_t handle() const { return socket_ ? socket_->Handle() : platform::kInvalidSocket; }
  bool is_open() const { return socket_ != nullptr; }
  // The address the last SetTarget aimed at (network byte order).
  uint32_t target_address() const { return target_address_; }
  uint16_t target_port() const { return target_port_; }

  // Makes the next OpenSocket in this process start the library again. For tests that give each
  // case its own network; the service never calls it.
  static void ForgetLibraryStartForTesting();

 private:
  bool Trace() { return debug_.Enabled(); }
  void TraceError(const char* format, int code);

  platform::Network& network_;
  platform::DebugOutput& debug_;
  // Asks abort_ and, while a connect waits, its deadline. The socket keeps it for its sends.
  bool Aborted();

  platform::AbortCheck abort_;
  const int connect_timeout_ms_;
  bool connecting_ = false;
  bool connect_timed_out_ = false;
  std::chrono::steady_clock::time_point connect_deadline_;
  std::unique_ptr<platform::Socket> socket_;
  // The target as a sockaddr_in holds it.
  int target_family_ = 0;
  uint16_t target_port_ = 0;
  uint32_t target_address_ = 0;
  char host_name_[256] = {};
};

// The socket library start of a polling pass that sends by UDP: 0 when started, 1 when the
// start failed, 2 when the library is not version 1.1 (it is then cleaned up again at once).
int StartSocketLibrary(platform::Network& network);
// The counterpart of a successful StartSocketLibrary.
void CleanupSocketLibrary(platform::Network& network);

}  // namespace sentrel

#endif  // SERVICE_TRANSPORT_CWINSOCK_H_
