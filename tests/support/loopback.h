// A POSIX socket on a loopback address, for tests that play the peer of the code under test (a
// server it connects to, a receiver of its datagrams).
#ifndef TESTS_SUPPORT_LOOPBACK_H_
#define TESTS_SUPPORT_LOOPBACK_H_

#include <sys/socket.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

class LoopbackSocket {
 public:
  // `type` is SOCK_STREAM (bound and listening) or SOCK_DGRAM; port 0 takes a free port. A
  // socket that cannot be bound is a test failure; fd() is then -1 and port() 0.
  explicit LoopbackSocket(int type, uint16_t port = 0, const char* address = "127.0.0.1");
  ~LoopbackSocket();
  LoopbackSocket(const LoopbackSocket&) = delete;
  LoopbackSocket& operator=(const LoopbackSocket&) = delete;

  int fd() const { return fd_; }
  uint16_t port() const { return port_; }  // host byte order

  // The next connection (the caller closes it), waiting at most timeout_ms (-1: no bound);
  // -1 when none came or the socket was shut down.
  int Accept(int timeout_ms) const;
  // The datagrams that have arrived, each taken while the next follows within 20 ms.
  std::vector<std::string> Take() const;

 private:
  int fd_;
  uint16_t port_ = 0;
};

// An HTTP server on 127.0.0.1, one connection at a time until it is destroyed: it keeps each
// request (up to the blank line), sends what `answer` makes of it and closes. Without `answer`
// it accepts and never says anything. `answer` runs on the server's thread.
class LoopbackHttpServer {
 public:
  using Answer = std::function<std::string(const std::string& request)>;

  explicit LoopbackHttpServer(Answer answer);
  ~LoopbackHttpServer();

  uint16_t port() const { return listener_.port(); }
  std::vector<std::string> requests() const;  // in the order they came

 private:
  void Serve();

  LoopbackSocket listener_{SOCK_STREAM};
  Answer answer_;
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<int> held_;  // the silent server's connections
  std::thread thread_;
};

}  // namespace testsupport

#endif  // TESTS_SUPPORT_LOOPBACK_H_
