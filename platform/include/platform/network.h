// Windows Sockets 1.1, as the programs use it: start-up and clean-up, name resolution, the
// services database, and IPv4 UDP and TCP sockets. Errors are Windows Sockets codes.
//
// Blocking: Connect waits until the connection is made or refused (Windows gives up after about
// 21 s), Send until all data is taken (at most a minute without progress), Receive up to its
// time-out; each ends early with kWsaEintr once its abort check says so. ResolveHost may wait
// for the name service (seconds); the other calls return at once. Threads: Network may be called
// from any thread (Startup and Cleanup count per process, as Winsock does); a socket belongs to
// one thread at a time.
#ifndef PLATFORM_NETWORK_H_
#define PLATFORM_NETWORK_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

inline constexpr int kWsaEintr = 10004;
inline constexpr int kWsaEbadf = 10009;
inline constexpr int kWsaEacces = 10013;
inline constexpr int kWsaEfault = 10014;
inline constexpr int kWsaEinval = 10022;
inline constexpr int kWsaEwouldblock = 10035;
inline constexpr int kWsaEnotsock = 10038;
inline constexpr int kWsaEmsgsize = 10040;
inline constexpr int kWsaEafnosupport = 10047;
inline constexpr int kWsaEaddrinuse = 10048;
inline constexpr int kWsaEaddrnotavail = 10049;
inline constexpr int kWsaEnetunreach = 10051;
inline constexpr int kWsaEconnaborted = 10053;
inline constexpr int kWsaEconnreset = 10054;
inline constexpr int kWsaEnobufs = 10055;
inline constexpr int kWsaEisconn = 10056;
inline constexpr int kWsaEnotconn = 10057;
inline constexpr int kWsaEtimedout = 10060;
inline constexpr int kWsaEconnrefused = 10061;
inline constexpr int kWsaEhostunreach = 10065;
inline constexpr int kWsaSysnotready = 10091;
inline constexpr int kWsaVernotsupported = 10092;
inline constexpr int kWsaNotinitialised = 10093;
inline constexpr int kWsaHostNotFound = 11001;
inline constexpr int kWsaTryAgain = 11002;
inline constexpr int kWsaNoRecovery = 11003;
inline constexpr int kWsaNoData = 11004;

inline constexpr int kAfInet = 2;
inline constexpr int kSockStream = 1;
inline constexpr int kSockDgram = 2;
inline constexpr int kIpprotoTcp = 6;
inline constexpr int kIpprotoUdp = 17;
inline constexpr uint32_t kInaddrAny = 0;

// The value a SOCKET handle has when there is none (INVALID_SOCKET as the programs store it).
inline constexpr intptr_t kInvalidSocket = -1;

// htons / ntohs without the system headers: ports travel in network byte order.
constexpr uint16_t HostToNetworkPort(uint16_t port) {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<uint16_t>((port >> 8) | (port << 8));
  } else {
    return port;
  }
}
constexpr uint16_t NetworkToHostPort(uint16_t port) { return HostToNetworkPort(port); }

// Asked between slices of every blocking wait; true ends the wait with kWsaEintr. Lets the
// service stop interrupt a connect or a receive at once.
using AbortCheck = std::function<bool()>;

// A socket. Destroying it closes it.
class Socket {
 public:
  virtual ~Socket() = default;

  // The system's handle of the socket (a descriptor or a SOCKET), for traces and tests.
  virtual intptr_t Handle() const = 0;

  // Addresses and ports in network byte order, as in sockaddr_in. Each call returns 0 or a
  // Windows Sockets error code.
  [[nodiscard]] virtual int Bind(uint32_t address, uint16_t port) = 0;
  [[nodiscard]] virtual int Connect(uint32_t address, uint16_t port, const AbortCheck& abort) = 0;
  // Takes all of the data, as a blocking send does; *sent is what the system took. A peer that
  // stops reading cannot hold the caller for ever: the wait for room observes the abort check
  // given to Connect and gives up after a minute without progress (kWsaEtimedout).
  [[nodiscard]] virtual int Send(const void* data, size_t size, size_t* sent) = 0;
  [[nodiscard]] virtual int SendTo(const void* data, size_t size, uint32_t address,
                                   uint16_t port) = 0;
  // One receive call; waits at most `timeout_ms` (kWsaEtimedout then; -1 = no limit).
  // *received 0 with result 0 means the peer closed the connection.
  [[nodiscard]] virtual int Receive(void* buffer, size_t size, size_t* received, int timeout_ms,
                                    const AbortCheck& abort) = 0;
  // closesocket: 0 or an error code.
  [[nodiscard]] virtual int Close() = 0;
};

class Network {
 public:
  virtual ~Network() = default;

  // WSAStartup / WSACleanup. *granted is the version the library gives (low byte major).
  [[nodiscard]] virtual int Startup(uint16_t version, uint16_t* granted) = 0;
  [[nodiscard]] virtual int Cleanup() = 0;
  // socket(): 0 and the socket, or an error code.
  [[nodiscard]] virtual int CreateSocket(int family, int type, int protocol,
                                         std::unique_ptr<Socket>* out) = 0;
  // gethostname.
  [[nodiscard]] virtual int GetHostName(std::string* name) = 0;
  // gethostbyname: the first IPv4 address of the name (network byte order).
  [[nodiscard]] virtual int ResolveHost(std::string_view name, uint32_t* address) = 0;
  // inet_addr: a dotted-decimal address; false when the text is none.
  virtual bool ParseAddress(std::string_view text, uint32_t* address) = 0;
  // getservbyname: the port of a service in the services database (network byte order).
  virtual bool ServicePort(std::string_view service, std::string_view protocol, uint16_t* port) = 0;
};

}  // namespace platform

#endif  // PLATFORM_NETWORK_H_
