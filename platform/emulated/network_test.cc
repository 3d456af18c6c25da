#include "platform/emulated/network.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "tests/support/loopback.h"
#include "tests/support/test_platform.h"

namespace platform::emulated {
namespace {

// Starts the library for one test and takes the start back afterwards, so that the process-wide
// count is the same before and after each test.
class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uint16_t granted = 0;
    ASSERT_EQ(net().Startup(0x0101, &granted), 0);
    ASSERT_EQ(granted, 0x0101);
  }
  void TearDown() override { EXPECT_EQ(net().Cleanup(), 0); }

  EmulatedNetwork& net() { return computer_.platform().emulated_network(); }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  }
  static uint32_t Ip(const char* dotted) { return inet_addr(dotted); }

  testsupport::TempComputer computer_;
};

using Listener = testsupport::LoopbackSocket;  // on 127.0.0.1 at a port the system chose

TEST_F(NetworkTest, StartCountsLikeWinsock) {
  uint16_t granted = 0;
  EXPECT_EQ(net().Startup(0x0202, &granted), 0);
  EXPECT_EQ(granted, 0x0202);
  EXPECT_EQ(net().Startup(0x0303, &granted), 0);
  EXPECT_EQ(granted, 0x0202);
  EXPECT_EQ(net().Startup(0x0100, &granted), kWsaVernotsupported);  // version 0.1
  EXPECT_EQ(net().Cleanup(), 0);
  EXPECT_EQ(net().Cleanup(), 0);
  EXPECT_EQ(net().Cleanup(), 0);  // the fixture's start
  std::unique_ptr<Socket> socket;
  uint32_t address = 0;
  std::string name;
  EXPECT_EQ(net().CreateSocket(kAfInet, kSockDgram, kIpprotoUdp, &socket), kWsaNotinitialised);
  EXPECT_EQ(net().ResolveHost("localhost", &address), kWsaNotinitialised);
  EXPECT_EQ(net().GetHostName(&name), kWsaNotinitialised);
  EXPECT_EQ(net().Cleanup(), kWsaNotinitialised);
  ASSERT_EQ(net().Startup(0x0101, &granted), 0);  // for TearDown
}

TEST_F(NetworkTest, NewComputerHasItsHostNameServicesAndHosts) {
  std::string name;
  EXPECT_EQ(net().GetHostName(&name), 0);
  EXPECT_EQ(name, "srv1");
  uint16_t port = 0;
  ASSERT_TRUE(net().ServicePort("syslog", "udp", &port));
  EXPECT_EQ(port, HostToNetworkPort(514));
  ASSERT_TRUE(net().ServicePort("SMTP", "tcp", &port));
  EXPECT_EQ(port, HostToNetworkPort(25));
  EXPECT_FALSE(net().ServicePort("syslog", "tcp", &port));
  uint32_t address = 0;
  EXPECT_EQ(net().ResolveHost("LocalHost", &address), 0);
  EXPECT_EQ(address, Ip("127.0.0.1"));
}

TEST_F(NetworkTest, HostsFileComesBeforeTheResolver) {
  Write(net().HostsFile(),
        "# comment line\r\n"
        "10.1.2.3   mailhost  mh   # the mail relay\r\n"
        "bogus      name\r\n"
        "127.0.0.9  localhost\r\n");
  uint32_t address = 0;
  EXPECT_EQ(net().ResolveHost("MailHost", &address), 0);
  EXPECT_EQ(address, Ip("10.1.2.3"));
  EXPECT_EQ(net().ResolveHost("mh", &address), 0);
  EXPECT_EQ(address, Ip("10.1.2.3"));
  EXPECT_EQ(net().ResolveHost("localhost", &address), 0);
  EXPECT_EQ(address, Ip("127.0.0.9"));
  EXPECT_EQ(net().ResolveHost("name", &address), kWsaHostNotFound);  // its address is no address
  EXPECT_EQ(net().ResolveHost("no-such-host.invalid", &address), kWsaHostNotFound);
}

TEST_F(NetworkTest, ServicesFileEntriesAliasesAndBadLines) {
  Write(net().ServicesFile(),
        "# services\n"
        "syslog   70000/udp\n"  // out of range: skipped
        "syslog   x514/udp\n"   // no number: skipped
        "logger   5514/udp  syslog   # alias\n"
        "syslog   601/tcp\n");
  uint16_t port = 0;
  ASSERT_TRUE(net().ServicePort("syslog", "udp", &port));
  EXPECT_EQ(port, HostToNetworkPort(5514));
  ASSERT_TRUE(net().ServicePort("syslog", "", &port));
  EXPECT_EQ(port, HostToNetworkPort(5514));
  ASSERT_TRUE(net().ServicePort("syslog", "TCP", &port));
  EXPECT_EQ(port, HostToNetworkPort(601));
  std::remove(net().ServicesFile().c_str());
  EXPECT_FALSE(net().ServicePort("syslog", "udp", &port));
}

TEST_F(NetworkTest, ParseAddressTakesTheFormsOfInetAddr) {
  struct Case {
    const char* text;
    const char* expected;  // null: not an address
  } cases[] = {
      {"192.168.1.20", "192.168.1.20"},
      {"127.1", "127.0.0.1"},
      {"0x7f.0.0.1", "127.0.0.1"},
      {"010.0.0.1", "8.0.0.1"},
      {"10.0.0.1 trailing", "10.0.0.1"},
      {"255.255.255.255", "255.255.255.255"},
      {"3com-server", nullptr},
      {"", nullptr},
      {"1.2.3.256", nullptr},
      {"1.2.3.4.5", nullptr},
      {"1..2", nullptr},
      {"08.1.1.1", nullptr},
      {"1.2.3.", nullptr},
      {"4294967296", nullptr},
  };
  for (const auto& c : cases) {
    uint32_t address = 0;
    const bool ok = net().ParseAddress(c.text, &address);
    EXPECT_EQ(ok, c.expected != nullptr) << c.text;
    if (ok && c.expected) {
      EXPECT_EQ(address, Ip(c.expected)) << c.text;
    }
  }
}

TEST_F(NetworkTest, RefusedConnectGives10061) {
  uint16_t closed_port;
  {
    Listener l(SOCK_STREAM);
    closed_port = htons(l.port());
  }
  std::unique_ptr<Socket> socket;
  ASSERT_EQ(net().CreateSocket(kAfInet, kSockStream, 0, &socket), 0);
  EXPECT_EQ(socket->Connect(Ip("127.0.0.1"), closed_port, {}), kWsaEconnrefused);
}

TEST_F(NetworkTest, ReceiveTimesOutIsAbortedAndSeesTheClose) {
  Listener l(SOCK_STREAM);
  std::unique_ptr<Socket> socket;
  ASSERT_EQ(net().CreateSocket(kAfInet, kSockStream, 0, &socket), 0);
  ASSERT_EQ(socket->Connect(Ip("127.0.0.1"), htons(l.port()), {}), 0);
  const int peer = l.Accept(10000);
  ASSERT_GE(peer, 0);

  char buffer[16];
  size_t received = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(socket->Receive(buffer, sizeof buffer, &received, 120, {}), kWsaEtimedout);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(120));
  EXPECT_EQ(received, 0u);

  std::atomic<int> asked{0};
  EXPECT_EQ(socket->Receive(buffer, sizeof buffer, &received, -1, [&] { return ++asked > 2; }),
            kWsaEintr);
  EXPECT_EQ(asked.load(), 3);

  ASSERT_EQ(send(peer, "220 hi\r\n", 8, 0), 8);
  EXPECT_EQ(socket->Receive(buffer, sizeof buffer, &received, 1000, {}), 0);
  EXPECT_EQ(std::string(buffer, received), "220 hi\r\n");
  close(peer);
  EXPECT_EQ(socket->Receive(buffer, sizeof buffer, &received, 1000, {}), 0);
  EXPECT_EQ(received, 0u);
  EXPECT_EQ(socket->Close(), 0);
  EXPECT_EQ(socket->Close(), kWsaEnotsock);
}

// A peer that accepts but never reads: a large send fills the buffers and then waits, and the
// abort check given to Connect ends that wait instead of leaving the caller blocked.
TEST_F(NetworkTest, SendToAPeerThatNeverReadsIsAborted) {
  Listener l(SOCK_STREAM);
  std::unique_ptr<Socket> socket;
  ASSERT_EQ(net().CreateSocket(kAfInet, kSockStream, 0, &socket), 0);
  std::atomic<bool> abort{false};
  ASSERT_EQ(socket->Connect(Ip("127.0.0.1"), htons(l.port()), [&] { return abort.load(); }), 0);
  const int peer = l.Accept(10000);
  ASSERT_GE(peer, 0);

  const std::string small(1000, 'x');
  size_t sent = 0;
  EXPECT_EQ(socket->Send(small.data(), small.size(), &sent), 0);
  EXPECT_EQ(sent, small.size());

  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    abort = true;
  });
  const std::string huge(64 << 20, 'y');
  EXPECT_EQ(socket->Send(huge.data(), huge.size(), &sent), kWsaEintr);
  EXPECT_LT(sent, huge.size());
  stopper.join();
  close(peer);
}

TEST_F(NetworkTest, DatagramsLeaveWhole) {
  Listener l(SOCK_DGRAM);
  std::unique_ptr<Socket> socket;
  ASSERT_EQ(net().CreateSocket(kAfInet, kSockDgram, kIpprotoUdp, &socket), 0);
  ASSERT_EQ(socket->Bind(kInaddrAny, 0), 0);
  std::string message(1500, 'x');
  message[0] = '\xE9';
  ASSERT_EQ(socket->SendTo(message.data(), message.size(), Ip("127.0.0.1"), htons(l.port())), 0);
  std::string got(4096, '\0');
  const ssize_t n = recv(l.fd(), got.data(), got.size(), 0);
  ASSERT_EQ(n, 1500);
  EXPECT_EQ(got.substr(0, 1500), message);
}

TEST(WsaErrorFromErrnoTest, MapsTheCommonErrors) {
  EXPECT_EQ(WsaErrorFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WsaErrorFromErrno(ETIMEDOUT), 10060);
  EXPECT_EQ(WsaErrorFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(WsaErrorFromErrno(ECONNRESET), 10054);
  EXPECT_EQ(WsaErrorFromErrno(EPIPE), 10054);
  EXPECT_EQ(WsaErrorFromErrno(ENETUNREACH), 10051);
  EXPECT_EQ(WsaErrorFromErrno(EHOSTUNREACH), 10065);
}

}  // namespace
}  // namespace platform::emulated
