// Network and Socket: Windows Sockets 1.1 against a Linux listener on loopback, the services
// database, and the waits (time-out, abort).

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "platform/network.h"
#include "tests/contract/contract_target.h"

namespace contract {
namespace {

using platform::Socket;

constexpr uint32_t kLoopback = 0x0100007F;  // 127.0.0.1 in network byte order
// A port nothing listens on inside the test's private network namespace.
constexpr uint16_t kClosedPort = 50009;

class NetworkContract : public ::testing::Test {
 protected:
  void SetUp() override {
    uint16_t granted = 0;
    ASSERT_EQ(network().Startup(0x0101, &granted), 0);
    EXPECT_EQ(granted, 0x0101);
    started_ = true;
  }
  void TearDown() override {
    socket_.reset();
    if (started_) {
      EXPECT_EQ(network().Cleanup(), 0);
    }
  }

  platform::Network& network() { return GetPlatform().network(); }

  // A UDP or TCP socket in socket_.
  void Open(int type) {
    ASSERT_EQ(
        network().CreateSocket(
            platform::kAfInet, type,
            type == platform::kSockDgram ? platform::kIpprotoUdp : platform::kIpprotoTcp, &socket_),
        0);
  }

  std::unique_ptr<Socket> socket_;
  bool started_ = false;
};

TEST_F(NetworkContract, AddressesAndServices) {
  uint32_t address = 0;
  EXPECT_TRUE(network().ParseAddress("127.0.0.1", &address));
  EXPECT_EQ(address, kLoopback);
  EXPECT_TRUE(network().ParseAddress("255.255.255.255", &address));
  EXPECT_EQ(address, 0xFFFFFFFFu);
  EXPECT_FALSE(network().ParseAddress("no.such.address", &address));
  ASSERT_EQ(network().ResolveHost("localhost", &address), 0);
  EXPECT_EQ(address, kLoopback);

  uint16_t port = 0;
  ASSERT_TRUE(network().ServicePort("syslog", "udp", &port));
  EXPECT_EQ(platform::NetworkToHostPort(port), 514);
  ASSERT_TRUE(network().ServicePort("smtp", "tcp", &port));
  EXPECT_EQ(platform::NetworkToHostPort(port), 25);
  // The services database lists syslog for UDP only.
  EXPECT_FALSE(network().ServicePort("syslog", "tcp", &port));
  EXPECT_FALSE(network().ServicePort("no-such-service", "udp", &port));
}

TEST_F(NetworkContract, UdpDatagramToALinuxListenerAndBack) {
  CONTRACT_RUN_IN_PRIVATE_NETWORK();
  const uint16_t echo = platform::HostToNetworkPort(GetTarget().EchoPort());
  ASSERT_NO_FATAL_FAILURE(Open(platform::kSockDgram));
  const std::string datagram = "<14>contract datagram \xe4";
  ASSERT_EQ(socket_->SendTo(datagram.data(), datagram.size(), kLoopback, echo), 0);
  char buffer[256];
  size_t received = 0;
  ASSERT_EQ(socket_->Receive(buffer, sizeof buffer, &received, 10000, nullptr), 0);
  EXPECT_EQ(std::string(buffer, received), datagram);
}

TEST_F(NetworkContract, TcpConnectSendReceiveAndRefusal) {
  CONTRACT_RUN_IN_PRIVATE_NETWORK();
  const uint16_t echo = platform::HostToNetworkPort(GetTarget().EchoPort());
  ASSERT_NO_FATAL_FAILURE(Open(platform::kSockStream));
  ASSERT_EQ(socket_->Connect(kLoopback, echo, nullptr), 0);
  const std::string line = "HELO contract\r\n";
  size_t sent = 0;
  ASSERT_EQ(socket_->Send(line.data(), line.size(), &sent), 0);
  EXPECT_EQ(sent, line.size());
  std::string back;
  char buffer[64];
  while (back.size() < line.size()) {
    size_t received = 0;
    ASSERT_EQ(socket_->Receive(buffer, sizeof buffer, &received, 10000, nullptr), 0);
    ASSERT_GT(received, 0u) << "the listener closed the connection";
    back.append(buffer, received);
  }
  EXPECT_EQ(back, line);
  EXPECT_EQ(socket_->Close(), 0);
  EXPECT_EQ(socket_->Close(), platform::kWsaEnotsock) << "closed twice";

  // A port nothing listens on refuses.
  ASSERT_NO_FATAL_FAILURE(Open(platform::kSockStream));
  EXPECT_EQ(socket_->Connect(kLoopback, platform::HostToNetworkPort(kClosedPort), nullptr),
            platform::kWsaEconnrefused);
}

TEST_F(NetworkContract, ReceiveTimeOutAndAbort) {
  ASSERT_NO_FATAL_FAILURE(Open(platform::kSockDgram));
  ASSERT_EQ(socket_->Bind(kLoopback, 0), 0);
  char buffer[16];
  size_t received = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(socket_->Receive(buffer, sizeof buffer, &received, 300, nullptr),
            platform::kWsaEtimedout);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(250));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_EQ(received, 0u);
  // An abort check that says stop ends even an unlimited wait.
  EXPECT_EQ(socket_->Receive(buffer, sizeof buffer, &received, -1, [] { return true; }),
            platform::kWsaEintr);
}

}  // namespace
}  // namespace contract
