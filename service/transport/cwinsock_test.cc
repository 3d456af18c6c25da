#include "service/transport/cwinsock.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "service/transport/fake_network.h"
#include "tests/support/loopback.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using ::testing::ElementsAre;
using transporttest::FakeNetwork;
using transporttest::kLoopback;

class CWinSockTest : public ::testing::Test {
 protected:
  void SetUp() override { CWinSock::ForgetLibraryStartForTesting(); }
  void TearDown() override { CWinSock::ForgetLibraryStartForTesting(); }

  FakeNetwork net;
  testsupport::CapturingDebugOutput debug;
};

TEST_F(CWinSockTest, FirstOpenStartsVersion11OnceForTheWholeProcess) {
  CWinSock a(net, debug), b(net, debug);
  EXPECT_NE(a.OpenSocket(platform::kAfInet, platform::kSockStream, 0), platform::kInvalidSocket);
  a.CloseSocket();
  b.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  b.CloseSocket();
  EXPECT_THAT(net.log.calls, ElementsAre("Startup 257", "CreateSocket 2 1 0", "Close 3",
                                         "CreateSocket 2 1 0", "Close 4"));
}

TEST_F(CWinSockTest, AnotherGrantedVersionIsCleanedUpAndTriedAgainNextTime) {
  net.granted_version = 0x0202;
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_THAT(net.log.calls, ElementsAre("Startup 257", "Cleanup", "CreateSocket 2 1 0",
                                         "Startup 257", "Cleanup", "CreateSocket 2 1 0"));
}

TEST_F(CWinSockTest, SocketFailureGivesInvalidHandleAndTrace) {
  net.failures["CreateSocket"] = platform::kWsaNotinitialised;
  CWinSock s(net, debug);
  EXPECT_EQ(s.OpenSocket(platform::kAfInet, platform::kSockStream, 0), platform::kInvalidSocket);
  EXPECT_EQ(s.handle(), platform::kInvalidSocket);
  EXPECT_THAT(debug.lines(), ElementsAre("CWinSock::OpenSocket() - couldn't get socket!\r\n"));
}

TEST_F(CWinSockTest, SetTargetWithoutHostConnectsToLoopbackInNetworkOrder) {
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_EQ(s.SetTarget(nullptr, 514), 0);
  EXPECT_EQ(net.log.calls.back(), "Connect " + std::to_string(kLoopback) + ":514");
  EXPECT_EQ(s.target_port(), platform::HostToNetworkPort(514));
  EXPECT_TRUE(s.is_open());
  EXPECT_THAT(debug.lines(), ElementsAre("Trying connect\r\n", "Done connect\r\n"));
}

TEST_F(CWinSockTest, DigitFirstTargetIsNeverLookedUp) {
  net.hosts["3com-server"] = kLoopback;  // a look-up would find it
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_EQ(s.SetTarget("3com-server", 514), platform::kWsaEaddrnotavail);
  EXPECT_FALSE(s.is_open());
  for (const auto& call : net.log.calls) {
    EXPECT_EQ(call.find("ResolveHost"), std::string::npos) << call;
    EXPECT_EQ(call.find("Connect"), std::string::npos) << call;
  }
  EXPECT_THAT(debug.lines(),
              ElementsAre("Trying connect\r\n", "Done connect\r\n", "Error --> Cleanup!\r\n"));
}

TEST_F(CWinSockTest, NamesAreResolvedAndUnresolvableOnesGiveOne) {
  net.hosts["loghost"] = 0x0A00000A;
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_EQ(s.SetTarget("loghost", 25), 0);
  EXPECT_EQ(net.log.calls.back(), "Connect " + std::to_string(0x0A00000A) + ":25");

  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  debug.Clear();
  EXPECT_EQ(s.SetTarget("nowhere", 25), 1);
  EXPECT_FALSE(s.is_open());
  EXPECT_EQ(s.handle(), platform::kInvalidSocket);
  EXPECT_THAT(debug.lines(), ElementsAre("Error resolving host\r\n"));
}

TEST_F(CWinSockTest, RefusedConnectReturnsTheErrorAndCloses) {
  net.failures["Connect"] = platform::kWsaEconnrefused;
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_EQ(s.SetTarget("127.0.0.1", 514), platform::kWsaEconnrefused);
  EXPECT_FALSE(s.is_open());
  EXPECT_EQ(net.log.open_sockets, 0);
  EXPECT_THAT(debug.lines(),
              ElementsAre("Trying connect\r\n", "Done connect\r\n", "Error --> Cleanup!\r\n"));
}

TEST_F(CWinSockTest, SendIsOneCallAndFailuresAreTraced) {
  CWinSock s(net, debug);
  EXPECT_EQ(s.Send(static_cast<const char*>(nullptr)), -1);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  EXPECT_EQ(s.Send("HELO srv1\r\n"), 11);
  EXPECT_THAT(net.log.streams, ElementsAre("HELO srv1\r\n"));
  net.failures["Send"] = platform::kWsaEconnreset;
  EXPECT_EQ(s.Send("x"), -1);
  EXPECT_EQ(debug.all(), "CWinSock::Send - SocketError Status 10054 \r\n");
}

TEST_F(CWinSockTest, ReceiveTerminatesTheBufferAndEmptiesItOnFailure) {
  CWinSock s(net, debug);
  s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  net.incoming = "220 ready\r\n";
  char buffer[6];
  EXPECT_EQ(s.Receive(buffer, 5, 2500), 5);
  EXPECT_STREQ(buffer, "220 r");
  EXPECT_EQ(net.log.calls.back(), "Receive 5 2500");

  net.failures["Receive"] = platform::kWsaEtimedout;
  EXPECT_EQ(s.Receive(buffer, 5), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(net.log.calls.back(),
            "Receive 5 " + std::to_string(CWinSock::kDefaultReceiveTimeoutMs));
  EXPECT_EQ(debug.all(), "CWinSock::Receive - SocketError Status 10060 \r\n");
}

TEST_F(CWinSockTest, CloseAndDestructorTraceFailures) {
  net.failures["Close"] = platform::kWsaEnotsock;
  {
    CWinSock s(net, debug);
    s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
    s.CloseSocket();
    s.CloseSocket();  // nothing left to close
    s.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  }
  EXPECT_THAT(debug.lines(), ElementsAre("\nError 10038 calling CWinSock::CloseSocket()!\n",
                                         "\nError 10038 calling CWinSock:~CWinSock()!\n"));
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(CWinSockTest, LocalHostNameFallsBackWhenTheQueryFails) {
  CWinSock s(net, debug);
  EXPECT_STREQ(s.GetLocalHostName(), "srv1");
  net.host_name = std::string(300, 'h');
  EXPECT_EQ(std::string(s.GetLocalHostName()), std::string(255, 'h'));
  net.failures["GetHostName"] = platform::kWsaNotinitialised;
  EXPECT_STREQ(s.GetLocalHostName(), "unresolvable host");
}

TEST_F(CWinSockTest, PassLibraryStartAnswersOneTwoOrZero) {
  EXPECT_EQ(StartSocketLibrary(net), 0);
  net.granted_version = 0x0002;
  EXPECT_EQ(StartSocketLibrary(net), 2);
  net.failures["Startup"] = platform::kWsaSysnotready;
  EXPECT_EQ(StartSocketLibrary(net), 1);
  EXPECT_THAT(net.log.calls, ElementsAre("Startup 257", "Startup 257", "Cleanup", "Startup 257"));
}

// Real sockets of the emulated computer against a listener whose accept queue is full: the
// system drops the SYNs, so a connect neither completes nor is refused.
class CWinSockConnectTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CWinSock::ForgetLibraryStartForTesting();
    // Backlog 0, set again on the listening socket, holds one connection; the rest stay
    // half-open in the system's retries.
    ASSERT_EQ(listen(listener_.fd(), 0), 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(listener_.port());
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (int i = 0; i < 3; ++i) {
      const int fd = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      // Non-blocking: completes (0) or stays in progress; either fills the queue.
      static_cast<void>(connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
      fillers_.push_back(fd);
    }
  }
  void TearDown() override {
    for (int fd : fillers_) close(fd);
    EXPECT_EQ(computer_.platform().network().Cleanup(), 0);  // the wrapper's first OpenSocket
    CWinSock::ForgetLibraryStartForTesting();
  }
  // Milliseconds SetTarget took, its result in *result.
  int64_t TimedConnect(CWinSock& s, int* result) {
    EXPECT_NE(s.OpenSocket(platform::kAfInet, platform::kSockStream, 0), platform::kInvalidSocket);
    const auto start = std::chrono::steady_clock::now();
    *result = s.SetTarget("127.0.0.1", listener_.port());
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 start)
        .count();
  }

  testsupport::TempComputer computer_;
  testsupport::CapturingDebugOutput debug_;
  testsupport::LoopbackSocket listener_{SOCK_STREAM};
  std::vector<int> fillers_;
};

TEST_F(CWinSockConnectTest, AConnectThatNeverCompletesGivesUpAtTheBound) {
  CWinSock s(computer_.platform().network(), debug_, {}, 300);
  int result = 0;
  const int64_t ms = TimedConnect(s, &result);
  EXPECT_EQ(result, platform::kWsaEtimedout);
  EXPECT_GE(ms, 290);
  EXPECT_LT(ms, 5000);
  EXPECT_FALSE(s.is_open());
}

TEST_F(CWinSockConnectTest, TheStopEndsTheWaitAtOnce) {
  const auto stop_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
  CWinSock s(
      computer_.platform().network(), debug_,
      [stop_at] { return std::chrono::steady_clock::now() >= stop_at; },
      CWinSock::kDefaultConnectTimeoutMs);
  int result = 0;
  const int64_t ms = TimedConnect(s, &result);
  EXPECT_EQ(result, platform::kWsaEintr);
  EXPECT_LT(ms, 2000);
}

// The bound belongs to the connect alone: a send long after it is not cut short.
TEST_F(CWinSockConnectTest, TheBoundDoesNotReachTheSendsAfterAConnect) {
  testsupport::LoopbackSocket open_listener(SOCK_STREAM);

  CWinSock s(computer_.platform().network(), debug_, {}, 50);
  ASSERT_NE(s.OpenSocket(platform::kAfInet, platform::kSockStream, 0), platform::kInvalidSocket);
  ASSERT_EQ(s.SetTarget("127.0.0.1", open_listener.port()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(120));
  // More than the socket buffers hold before the peer reads: the send has to wait for room.
  const std::string big(8 << 20, 'x');
  std::thread reader([&] {
    const int fd = open_listener.Accept(-1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    std::vector<char> buffer(1 << 16);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
  });
  EXPECT_EQ(s.Send(big), static_cast<int>(big.size()));
  s.CloseSocket();
  reader.join();
}

}  // namespace
}  // namespace sentrel
