#include "platform/emulated/network.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <vector>

#include "platform/emulated/etc_files.h"
#include "platform/text.h"

namespace platform::emulated {
namespace {

// Winsock counts WSAStartup calls per process; so does the emulation.
std::atomic<int> g_start_count{0};

bool Started() { return g_start_count.load(std::memory_order_acquire) > 0; }

// Longest wait between two looks at the abort check.
constexpr int kSliceMs = 50;

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = port;
  sa.sin_addr.s_addr = address;
  return sa;
}

int LastError() { return WsaErrorFromErrno(errno); }

// Waits for `events` on `fd` in slices, asking `abort` between them. 0 when ready, kWsaEintr when
// aborted, kWsaEtimedout after `timeout_ms` (-1: no limit).
int WaitFor(int fd, short events, int timeout_ms, const AbortCheck& abort) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(timeout_ms, 0));
  for (;;) {
    if (abort && abort()) return kWsaEintr;
    int slice = kSliceMs;
    if (timeout_ms >= 0) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        pollfd probe{fd, events, 0};
        if (poll(&probe, 1, 0) > 0) return 0;
        return kWsaEtimedout;
      }
      slice = static_cast<int>(std::min<int64_t>(slice, left));
    }
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, slice);
    if (n > 0) return 0;
    if (n < 0 && errno != EINTR) return LastError();
  }
}

class PosixSocket : public Socket {
 public:
  explicit PosixSocket(int fd) : fd_(fd) {}
  ~PosixSocket() override {
    if (fd_ >= 0) ::close(fd_);
  }

  intptr_t Handle() const override { return fd_; }

  static constexpr int kSendStallMs = 60000;

  [[nodiscard]] int Bind(uint32_t address, uint16_t port) override {
    if (int r = Check()) return r;
    const sockaddr_in sa = MakeAddress(address, port);
    if (::bind(fd_, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) return LastError();
    return 0;
  }

  // A non-blocking connect watched in slices, so that a stop need not wait for the system's
  // connect time-out. (Stream sockets are made non-blocking: every wait is a poll in slices.)
  [[nodiscard]] int Connect(uint32_t address, uint16_t port, const AbortCheck& abort) override {
    if (int r = Check()) return r;
    abort_ = abort;
    const sockaddr_in sa = MakeAddress(address, port);
    const auto* to = reinterpret_cast<const sockaddr*>(&sa);
    if (::connect(fd_, to, sizeof sa) == 0) return 0;
    if (errno != EINPROGRESS) return LastError();
    // On loopback the handshake is mostly done by now, and asking again tells so without a wait.
    if (::connect(fd_, to, sizeof sa) == 0 || errno == EISCONN) return 0;
    if (errno != EALREADY && errno != EINPROGRESS) return LastError();
    int result = WaitFor(fd_, POLLOUT, -1, abort);
    if (result == 0) {
      int error = 0;
      socklen_t length = sizeof error;
      if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
        result = LastError();
      } else if (error != 0) {
        result = WsaErrorFromErrno(error);
      }
    }
    return result;
  }

  // Like a blocking send, takes all of the data, but waits for room in slices so that a peer
  // that stops reading cannot hold the caller for ever: the abort check given to Connect ends
  // the wait, and so does a minute without progress.
  [[nodiscard]] int Send(const void* data, size_t size, size_t* sent) override {
    *sent = 0;
    if (int r = Check()) return r;
    const char* bytes = static_cast<const char*>(data);
    while (true) {
      const ssize_t n = ::send(fd_, bytes + *sent, size - *sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n >= 0) {
        *sent += static_cast<size_t>(n);
        if (*sent == size) return 0;
        continue;
      }
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return LastError();
      if (int r = WaitFor(fd_, POLLOUT, kSendStallMs, abort_)) return r;
    }
  }

  [[nodiscard]] int SendTo(const void* data, size_t size, uint32_t address,
                           uint16_t port) override {
    if (int r = Check()) return r;
    const sockaddr_in sa = MakeAddress(address, port);
    if (::sendto(fd_, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) <
        0) {
      return LastError();
    }
    return 0;
  }

  [[nodiscard]] int Receive(void* buffer, size_t size, size_t* received, int timeout_ms,
                            const AbortCheck& abort) override {
    *received = 0;
    if (int r = Check()) return r;
    for (;;) {
      if (int r = WaitFor(fd_, POLLIN, timeout_ms, abort)) return r;
      const ssize_t n = ::recv(fd_, buffer, size, MSG_DONTWAIT);
      if (n >= 0) {
        *received = static_cast<size_t>(n);
        return 0;
      }
      if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return LastError();
    }
  }

  [[nodiscard]] int Close() override {
    if (!Started()) return kWsaNotinitialised;
    if (fd_ < 0) return kWsaEnotsock;
    ::close(fd_);
    fd_ = -1;
    return 0;
  }

 private:
  [[nodiscard]] int Check() const {
    if (!Started()) return kWsaNotinitialised;
    return fd_ < 0 ? kWsaEnotsock : 0;
  }
  AbortCheck abort_;
  int fd_;
};

// One part of an inet_addr text: decimal, octal (leading 0) or hex (0x); false on anything else.
bool ParsePart(std::string_view part, uint64_t* value) {
  int base = 10;
  if (part.size() > 1 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
    if (part.empty()) return false;
  } else if (part.size() > 1 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  if (part.empty()) return false;
  uint64_t v = 0;
  for (char c : part) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return false;
    }
    if (digit >= base) return false;
    v = v * base + digit;
    if (v > 0xFFFFFFFFull) return false;
  }
  *value = v;
  return true;
}

}  // namespace

int WsaErrorFromErrno(int error) {
  switch (error) {
    case EINTR:
      return kWsaEintr;
    case EBADF:
      return kWsaEbadf;
    case EACCES:
    case EPERM:
      return kWsaEacces;
    case EFAULT:
      return kWsaEfault;
    case EINVAL:
      return kWsaEinval;
    case EMFILE:
    case ENFILE:
      return 10024;  // WSAEMFILE
    case EAGAIN:
      return kWsaEwouldblock;
    case EINPROGRESS:
      return 10036;  // WSAEINPROGRESS
    case EALREADY:
      return 10037;  // WSAEALREADY
    case ENOTSOCK:
      return kWsaEnotsock;
    case EDESTADDRREQ:
      return 10039;  // WSAEDESTADDRREQ
    case EMSGSIZE:
      return kWsaEmsgsize;
    case EPROTOTYPE:
      return 10041;  // WSAEPROTOTYPE
    case ENOPROTOOPT:
      return 10042;  // WSAENOPROTOOPT
    case EPROTONOSUPPORT:
      return 10043;  // WSAEPROTONOSUPPORT
    case ESOCKTNOSUPPORT:
      return 10044;  // WSAESOCKTNOSUPPORT
    case EOPNOTSUPP:
      return 10045;  // WSAEOPNOTSUPP
    case EPFNOSUPPORT:
      return 10046;  // WSAEPFNOSUPPORT
    case EAFNOSUPPORT:
      return kWsaEafnosupport;
    case EADDRINUSE:
      return kWsaEaddrinuse;
    case EADDRNOTAVAIL:
      return kWsaEaddrnotavail;
    case ENETDOWN:
      return 10050;  // WSAENETDOWN
    case ENETUNREACH:
      return kWsaEnetunreach;
    case ENETRESET:
      return 10052;  // WSAENETRESET
    case ECONNABORTED:
      return kWsaEconnaborted;
    case ECONNRESET:
    case EPIPE:
      return kWsaEconnreset;
    case ENOBUFS:
    case ENOMEM:
      return kWsaEnobufs;
    case EISCONN:
      return kWsaEisconn;
    case ENOTCONN:
      return kWsaEnotconn;
    case ESHUTDOWN:
      return 10058;  // WSAESHUTDOWN
    case ETIMEDOUT:
      return kWsaEtimedout;
    case ECONNREFUSED:
      return kWsaEconnrefused;
    case EHOSTDOWN:
      return 10064;  // WSAEHOSTDOWN
    case EHOSTUNREACH:
      return kWsaEhostunreach;
    default:
      return 10107;  // WSASYSCALLFAILURE
  }
}

EmulatedNetwork::EmulatedNetwork(Computer& computer,
                                 std::function<std::string(std::u16string_view)> host_path,
                                 std::u16string system_root)
    : computer_(computer),
      host_path_(std::move(host_path)),
      system_root_(std::move(system_root)),
      hosts_([this] { return HostsFile(); }),
      services_([this] { return ServicesFile(); }) {}

std::string EmulatedNetwork::HostsFile() const {
  return host_path_(system_root_ + u"\\system32\\drivers\\etc\\hosts");
}

std::string EmulatedNetwork::ServicesFile() const {
  return host_path_(system_root_ + u"\\system32\\drivers\\etc\\services");
}

int EmulatedNetwork::Startup(uint16_t version, uint16_t* granted) {
  const int major = version & 0xFF;
  const int minor = version >> 8;
  if (major < 1) return kWsaVernotsupported;
  *granted = (major > 2 || (major == 2 && minor > 2)) ? uint16_t{0x0202} : version;
  g_start_count.fetch_add(1, std::memory_order_acq_rel);
  return 0;
}

int EmulatedNetwork::Cleanup() {
  int count = g_start_count.load(std::memory_order_acquire);
  while (count > 0) {
    if (g_start_count.compare_exchange_weak(count, count - 1, std::memory_order_acq_rel)) return 0;
  }
  return kWsaNotinitialised;
}

int EmulatedNetwork::CreateSocket(int family, int type, int protocol,
                                  std::unique_ptr<Socket>* out) {
  out->reset();
  if (!Started()) return kWsaNotinitialised;
  if (family != kAfInet) return kWsaEafnosupport;
  int host_type;
  if (type == kSockStream) {
    host_type = SOCK_STREAM;
  } else if (type == kSockDgram) {
    host_type = SOCK_DGRAM;
  } else {
    return 10044;  // WSAESOCKTNOSUPPORT
  }
  // Stream sockets wait only in polls (see PosixSocket::Connect); datagrams are sent blocking.
  const int nonblocking = host_type == SOCK_STREAM ? SOCK_NONBLOCK : 0;
  const int fd = ::socket(AF_INET, host_type | SOCK_CLOEXEC | nonblocking, protocol);
  if (fd < 0) return LastError();
  *out = std::make_unique<PosixSocket>(fd);
  return 0;
}

int EmulatedNetwork::GetHostName(std::string* name) {
  if (!Started()) return kWsaNotinitialised;
  return static_cast<int>(computer_.HostName(name));
}

bool EmulatedNetwork::LookUpHostsFile(std::string_view name, uint32_t* address) {
  bool found = false;
  hosts_.Use(
      [&](const std::string& text, uint64_t) { found = FindHostsEntry(text, name, address); });
  return found;
}

int EmulatedNetwork::ResolveHost(std::string_view name, uint32_t* address) {
  if (!Started()) return kWsaNotinitialised;
  if (LookUpHostsFile(name, address)) return 0;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* result = nullptr;
  const int r = getaddrinfo(std::string(name).c_str(), nullptr, &hints, &result);
  if (r != 0 || !result) {
    switch (r) {
      case EAI_AGAIN:
        return kWsaTryAgain;
      case EAI_FAIL:
        return kWsaNoRecovery;
#ifdef EAI_NODATA
      case EAI_NODATA:
        return kWsaNoData;
#endif
      default:
        return kWsaHostNotFound;
    }
  }
  *address = reinterpret_cast<const sockaddr_in*>(result->ai_addr)->sin_addr.s_addr;
  freeaddrinfo(result);
  return 0;
}

bool EmulatedNetwork::ParseAddress(std::string_view text, uint32_t* address) {
  // As inet_addr, text after the first space is ignored.
  text = text.substr(0, text.find(' '));
  uint64_t parts[4];
  size_t n = 0;
  size_t pos = 0;
  for (;;) {
    const size_t dot = text.find('.', pos);
    uint64_t v = 0;
    if (!ParsePart(text.substr(pos, dot == std::string_view::npos ? text.npos : dot - pos), &v)) {
      return false;
    }
    parts[n++] = v;
    if (dot == std::string_view::npos) break;
    if (n == 4) return false;
    pos = dot + 1;
  }
  // The last part fills all the bytes the earlier ones leave.
  uint64_t host = 0;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (parts[i] > 0xFF) return false;
    host |= parts[i] << (24 - 8 * i);
  }
  const int last_bits = 32 - 8 * static_cast<int>(n - 1);
  if (last_bits < 64 && parts[n - 1] >= (uint64_t{1} << last_bits)) return false;
  host |= parts[n - 1];
  *address = htonl(static_cast<uint32_t>(host));
  return true;
}

bool EmulatedNetwork::ServicePort(std::string_view service, std::string_view protocol,
                                  uint16_t* port) {
  if (!Started()) return false;
  // Questions other than the few a program asks again and again are not worth keeping.
  constexpr size_t kMaxAnswers = 64;
  std::string question = AsciiLower(service);
  question.push_back('/');
  question += AsciiLower(protocol);
  uint16_t answer = 0;
  services_.Use([&](const std::string& text, uint64_t version) {
    if (version != services_version_) {
      service_ports_.clear();
      services_version_ = version;
    }
    if (const auto it = service_ports_.find(question); it != service_ports_.end()) {
      answer = it->second;
      return;
    }
    if (!FindServicesEntry(text, service, protocol, &answer)) answer = 0;
    if (service_ports_.size() < kMaxAnswers) service_ports_.emplace(question, answer);
  });
  if (answer == 0) return false;
  *port = answer;
  return true;
}

}  // namespace platform::emulated
