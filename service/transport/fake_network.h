// A scripted network for the transport's unit tests: it records every call and answers what the
// test set. Real sockets are covered by the emulated platform's tests and the receiver tests.
#ifndef SERVICE_TRANSPORT_FAKE_NETWORK_H_
#define SERVICE_TRANSPORT_FAKE_NETWORK_H_

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/network.h"

namespace sentrel::transporttest {

struct FakeNetworkLog {
  std::vector<std::string> calls;  // "Startup 257", "Connect 16777343:514", "Close 3", ...
  std::vector<std::string> datagrams;
  std::vector<std::string> streams;  // bytes of each successful Send
  int open_sockets = 0;
};

class FakeSocket : public platform::Socket {
 public:
  FakeSocket(FakeNetworkLog& log, intptr_t handle, const std::map<std::string, int>& failures,
             std::string* incoming)
      : log_(log), handle_(handle), failures_(failures), incoming_(incoming) {
    ++log_.open_sockets;
  }
  ~FakeSocket() override {
    if (open_) --log_.open_sockets;
  }
  intptr_t Handle() const override { return handle_; }
  int Bind(uint32_t address, uint16_t port) override {
    return Call("Bind " + std::to_string(address) + ":" + std::to_string(port), "Bind");
  }
  int Connect(uint32_t address, uint16_t port, const platform::AbortCheck&) override {
    return Call("Connect " + std::to_string(address) + ":" +
                    std::to_string(platform::NetworkToHostPort(port)),
                "Connect");
  }
  int Send(const void* data, size_t size, size_t* sent) override {
    *sent = 0;
    const int r = Call("Send " + std::to_string(size), "Send");
    if (r == 0) {
      log_.streams.emplace_back(static_cast<const char*>(data), size);
      *sent = size;
    }
    return r;
  }
  int SendTo(const void* data, size_t size, uint32_t address, uint16_t port) override {
    const int r = Call("SendTo " + std::to_string(address) + ":" +
                           std::to_string(platform::NetworkToHostPort(port)),
                       "SendTo");
    if (r == 0) log_.datagrams.emplace_back(static_cast<const char*>(data), size);
    return r;
  }
  int Receive(void* buffer, size_t size, size_t* received, int timeout_ms,
              const platform::AbortCheck&) override {
    *received = 0;
    const int r =
        Call("Receive " + std::to_string(size) + " " + std::to_string(timeout_ms), "Receive");
    if (r != 0) return r;
    const size_t n = std::min(size, incoming_->size());
    incoming_->copy(static_cast<char*>(buffer), n);
    incoming_->erase(0, n);
    *received = n;
    return 0;
  }
  int Close() override {
    const int r = Call("Close " + std::to_string(handle_), "Close");
    if (open_) --log_.open_sockets;
    open_ = false;
    return r;
  }

 private:
  int Call(std::string text, const std::string& kind) {
    log_.calls.push_back(std::move(text));
    auto it = failures_.find(kind);
    return it == failures_.end() ? 0 : it->second;
  }
  FakeNetworkLog& log_;
  intptr_t handle_;
  const std::map<std::string, int>& failures_;
  std::string* incoming_;
  bool open_ = true;
};

class FakeNetwork : public platform::Network {
 public:
  int Startup(uint16_t version, uint16_t* granted) override {
    log.calls.push_back("Startup " + std::to_string(version));
    if (int r = Failure("Startup")) return r;
    *granted = granted_version ? granted_version : version;
    return 0;
  }
  int Cleanup() override {
    log.calls.push_back("Cleanup");
    return 0;
  }
  int CreateSocket(int family, int type, int protocol,
                   std::unique_ptr<platform::Socket>* out) override {
    log.calls.push_back("CreateSocket " + std::to_string(family) + " " + std::to_string(type) +
                        " " + std::to_string(protocol));
    if (int r = Failure("CreateSocket")) return r;
    *out = std::make_unique<FakeSocket>(log, next_handle++, failures, &incoming);
    return 0;
  }
  int GetHostName(std::string* name) override {
    if (int r = Failure("GetHostName")) return r;
    *name = host_name;
    return 0;
  }
  int ResolveHost(std::string_view name, uint32_t* address) override {
    log.calls.push_back("ResolveHost " + std::string(name));
    auto it = hosts.find(std::string(name));
    if (it == hosts.end()) return platform::kWsaHostNotFound;
    *address = it->second;
    return 0;
  }
  // Only plain four-part addresses; enough for the cases here.
  bool ParseAddress(std::string_view text, uint32_t* address) override {
    unsigned a, b, c, d;
    char rest;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &rest) != 4 || a > 255 || b > 255 ||
        c > 255 || d > 255) {
      return false;
    }
    *address = a | (b << 8) | (c << 16) | (d << 24);  // network byte order on a little-endian host
    return true;
  }
  bool ServicePort(std::string_view service, std::string_view protocol, uint16_t* port) override {
    log.calls.push_back("ServicePort " + std::string(service) + "/" + std::string(protocol));
    auto it = services.find(std::string(service) + "/" + std::string(protocol));
    if (it == services.end()) return false;
    *port = platform::HostToNetworkPort(it->second);
    return true;
  }

  int Failure(const std::string& kind) const {
    auto it = failures.find(kind);
    return it == failures.end() ? 0 : it->second;
  }

  FakeNetworkLog log;
  std::map<std::string, int> failures;  // call kind -> error code it answers
  std::map<std::string, uint32_t> hosts;
  std::map<std::string, uint16_t> services;  // "syslog/udp" -> port (host order)
  uint16_t granted_version = 0;              // 0: grant what is asked
  std::string host_name = "srv1";
  std::string incoming;  // what Receive hands out
  intptr_t next_handle = 3;
};

// 127.0.0.1 in network byte order, as ParseAddress above gives it.
inline constexpr uint32_t kLoopback = 0x0100007F;

}  // namespace sentrel::transporttest

#endif  // SERVICE_TRANSPORT_FAKE_NETWORK_H_
