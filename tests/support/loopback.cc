#include "tests/support/loopback.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string_view>

namespace testsupport {
namespace {

bool Readable(int fd, int timeout_ms) {
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, timeout_ms) > 0;
}

// What the peer on `fd` sends until `end` has arrived, the peer closes, or no byte comes for
// timeout_ms.
std::string ReceiveUntil(int fd, std::string_view end, int timeout_ms) {
  std::string text;
  char buffer[4096];
  while (text.find(end) == std::string::npos && Readable(fd, timeout_ms)) {
    const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

}  // namespace

LoopbackSocket::LoopbackSocket(int type, uint16_t port, const char* address)
    : fd_(socket(AF_INET, type | SOCK_CLOEXEC, 0)) {
  const int on = 1;
  if (port != 0) setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);  // a fixed port
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(port);
  socklen_t length = sizeof a;
  if (inet_pton(AF_INET, address, &a.sin_addr) != 1 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      (type == SOCK_STREAM && listen(fd_, 8) != 0) ||
      getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length) != 0) {
    ADD_FAILURE() << "cannot bind " << address << ":" << port;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;  // Accept and Take then find nothing rather than wait on a socket nobody reaches
    return;
  }
  port_ = ntohs(a.sin_port);
}

LoopbackSocket::~LoopbackSocket() {
  if (fd_ >= 0) close(fd_);
}

int LoopbackSocket::Accept(int timeout_ms) const {
  if (fd_ < 0 || !Readable(fd_, timeout_ms)) return -1;
  return accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
}

std::vector<std::string> LoopbackSocket::Take() const {
  std::vector<std::string> messages;
  char buffer[65536];
  while (Readable(fd_, 20)) {
    const ssize_t n = recv(fd_, buffer, sizeof buffer, 0);
    if (n < 0) break;
    messages.emplace_back(buffer, static_cast<size_t>(n));
  }
  return messages;
}

LoopbackHttpServer::LoopbackHttpServer(Answer answer)
    : answer_(std::move(answer)), thread_([this] { Serve(); }) {}

LoopbackHttpServer::~LoopbackHttpServer() {
  shutdown(listener_.fd(), SHUT_RDWR);  // ends the wait in Accept
  thread_.join();
  for (int c : held_) close(c);
}

std::vector<std::string> LoopbackHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void LoopbackHttpServer::Serve() {
  for (int c; (c = listener_.Accept(-1)) >= 0;) {
    if (!answer_) {
      held_.push_back(c);  // the client waits for an answer that never comes
      continue;
    }
    const std::string request = ReceiveUntil(c, "\r\n\r\n", 10000);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    const std::string reply = answer_(request);
    static_cast<void>(send(c, reply.data(), reply.size(), MSG_NOSIGNAL));  // the client may be gone
    close(c);
  }
}

}  // namespace testsupport
