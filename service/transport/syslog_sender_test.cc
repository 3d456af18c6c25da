#include "service/transport/syslog_sender.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "service/transport/fake_network.h"
#include "tests/support/test_platform.h"

namespace sentrel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using transporttest::FakeNetwork;
using transporttest::kLoopback;

class RecordingReporter : public EventReporter {
 public:
  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1,
                          const char16_t* text2, const char16_t* text3) override {
    EXPECT_EQ(type, kReportError);
    EXPECT_EQ(event_id, kEventText);
    EXPECT_EQ(text2, nullptr);
    texts.emplace_back(text1 ? std::string(text1, text1 + std::char_traits<char16_t>::length(text1))
                             : std::string("(null)"));
  }
  std::vector<std::string> texts;
};

class SyslogSenderTest : public ::testing::Test {
 protected:
  void SetUp() override { CWinSock::ForgetLibraryStartForTesting(); }
  void TearDown() override { CWinSock::ForgetLibraryStartForTesting(); }

  void Udp(std::string_view server, std::string_view message, uint32_t mode = 0) {
    sender.SendToSyslogServer(server, message, kSyslogUdp, connection, mode);
  }

  FakeNetwork net;
  testsupport::CapturingDebugOutput debug;
  RecordingReporter reporter;
  SyslogSender sender{net, debug, reporter};
  CWinSock connection{net, debug};
};

TEST_F(SyslogSenderTest, UdpUsesAFreshBoundSocketAndTheServicesPortPerMessage) {
  Udp("127.0.0.1", "<14>one");
  net.services["syslog/udp"] = 5514;
  Udp("127.0.0.1", "<14>two");
  const std::string to = "SendTo " + std::to_string(kLoopback);
  EXPECT_THAT(net.log.calls,
              ElementsAre("CreateSocket 2 2 17", "Bind 0:0", "ServicePort syslog/udp", to + ":514",
                          "Close 3", "CreateSocket 2 2 17", "Bind 0:0", "ServicePort syslog/udp",
                          to + ":5514", "Close 4"));
  EXPECT_THAT(net.log.datagrams, ElementsAre("<14>one", "<14>two"));
  EXPECT_EQ(net.log.open_sockets, 0);
  EXPECT_THAT(debug.lines(), ElementsAre("<14>one", "<14>two"));
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(SyslogSenderTest, OnlyModeTwoCutsLongDatagramsTo1024Bytes) {
  std::string message(1500, 'x');
  message[1023] = 'L';
  Udp("127.0.0.1", message, 0);
  Udp("127.0.0.1", message, 1);
  Udp("127.0.0.1", message, 2);
  Udp("127.0.0.1", message.substr(0, 1024), 2);
  ASSERT_EQ(net.log.datagrams.size(), 4u);
  EXPECT_EQ(net.log.datagrams[0], message);
  EXPECT_EQ(net.log.datagrams[1], message);
  EXPECT_EQ(net.log.datagrams[2], message.substr(0, 1024));
  EXPECT_EQ(net.log.datagrams[3], message.substr(0, 1024));
}

TEST_F(SyslogSenderTest, NamesAreResolvedPerMessageAndDigitTargetsNever) {
  net.hosts["loghost"] = 0x0A00000A;
  net.hosts["3com-server"] = 0x0A00000A;
  Udp("loghost", "a");
  Udp("loghost", "b");
  Udp("3com-server", "c");  // not a dotted address: goes nowhere, silently
  int lookups = 0;
  for (const auto& call : net.log.calls) lookups += call == "ResolveHost loghost";
  EXPECT_EQ(lookups, 2);
  EXPECT_THAT(net.log.datagrams, ElementsAre("a", "b"));
  EXPECT_THAT(reporter.texts, IsEmpty());
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(SyslogSenderTest, UdpFailuresAreReportedWithTheirTexts) {
  Udp("unknown-host", "a");
  net.failures["Bind"] = platform::kWsaEaddrinuse;
  Udp("127.0.0.1", "b");
  net.failures["CreateSocket"] = platform::kWsaEnobufs;
  Udp("127.0.0.1", "c");
  EXPECT_THAT(reporter.texts,
              ElementsAre("Error I1003 - SyslogServer Hostname could not be resolved.",
                          "Error I1004 - Error 10048 binding socket!\r\n",
                          "Error I1001 - can't get socket"));
  EXPECT_THAT(net.log.datagrams, IsEmpty());
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(SyslogSenderTest, UdpSendFailureIsSilent) {
  net.failures["SendTo"] = platform::kWsaEmsgsize;
  Udp("127.0.0.1", "a");
  EXPECT_THAT(reporter.texts, IsEmpty());
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(SyslogSenderTest, TcpSendsTheBytesOnTheConnectionAndClosesIt) {
  const std::string message = std::string("<14>caf\xE9 ", 9) + std::string(1500, 'y');
  connection.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  connection.SetTarget("127.0.0.1", kSyslogTcpPort);
  sender.SendToSyslogServer("127.0.0.1", message, kSyslogTcp, connection, 2);
  EXPECT_THAT(net.log.streams, ElementsAre(message));  // never cut, nothing added
  EXPECT_FALSE(connection.is_open());
  for (const auto& call : net.log.calls) EXPECT_NE(call, "ServicePort syslog/udp");
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(SyslogSenderTest, TcpSendFailureIsReportedAndClosesTheConnection) {
  connection.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  net.failures["Send"] = platform::kWsaEconnreset;
  sender.SendToSyslogServer("127.0.0.1", "<14>x", kSyslogTcp, connection, 0);
  EXPECT_THAT(reporter.texts, ElementsAre("Error I1002 - Could not send message to Syslog Server "
                                          "over TCP - might be disconnected while sending..."));
  EXPECT_FALSE(connection.is_open());
  EXPECT_EQ(net.log.open_sockets, 0);
}

TEST_F(SyslogSenderTest, OtherProtocolNumbersDoNothing) {
  connection.OpenSocket(platform::kAfInet, platform::kSockStream, 0);
  const size_t calls = net.log.calls.size();
  sender.SendToSyslogServer("127.0.0.1", "<14>x", 2, connection, 0);
  EXPECT_EQ(net.log.calls.size(), calls);
  EXPECT_TRUE(connection.is_open());
  EXPECT_THAT(reporter.texts, IsEmpty());
}

TEST_F(SyslogSenderTest, SyslogPortDefaultsTo514InNetworkOrder) {
  EXPECT_EQ(sender.GetSyslogPort(), platform::HostToNetworkPort(514));
  net.services["syslog/udp"] = 10514;
  EXPECT_EQ(sender.GetSyslogPort(), platform::HostToNetworkPort(10514));
}

}  // namespace
}  // namespace sentrel
