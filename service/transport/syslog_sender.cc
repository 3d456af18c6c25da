#include "service/transport/syslog_sender.h"

#include <cstdio>
#include <memory>
#include <string>

namespace sentrel {
namespace {

constexpr uint16_t kDefaultSyslogPort = 514;

bool StartsWithDigit(std::string_view text) {
  return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

}  // namespace

SyslogSender::SyslogSender(platform::Network& network, platform::DebugOutput& debug,
                           EventReporter& reporter)
    : network_(network), debug_(debug), reporter_(reporter) {}

void SyslogSender::Report(std::string_view text) {
  // Every report text is ASCII.
  const std::u16string wide(text.begin(), text.end());
  reporter_.ReportServiceEvent(kReportError, kEventText, wide.c_str());
}

uint16_t SyslogSender::GetSyslogPort() {
  uint16_t port = 0;
  if (network_.ServicePort("syslog", "udp", &port)) return port;
  return platform::HostToNetworkPort(kDefaultSyslogPort);
}

void SyslogSender::SendToSyslogServer(std::string_view server, std::string_view message,
                                      uint32_t protocol, CWinSock& connection,
                                      uint32_t rfc3164_mode) {
  if (protocol == kSyslogUdp) {
    SendUdp(server, message, rfc3164_mode);
  } else if (protocol == kSyslogTcp) {
    SendTcp(message, connection);
  }
}

void SyslogSender::SendUdp(std::string_view server, std::string_view message,
                           uint32_t rfc3164_mode) {
  debug_.WriteAnsi(message);
  std::unique_ptr<platform::Socket> socket;
  if (network_.CreateSocket(platform::kAfInet, platform::kSockDgram, platform::kIpprotoUdp,
                            &socket) != 0 ||
      !socket) {
    Report("Error I1001 - can't get socket");
    return;
  }
  if (const int r = socket->Bind(platform::kInaddrAny, 0); r != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Error I1004 - Error %d binding socket!\r\n", r);
    Report(text);
    return;  // the socket closes with its owner
  }
  const uint16_t port = GetSyslogPort();
  uint32_t address = 0;
  if (StartsWithDigit(server)) {
    // A text that is no dotted address (such as "3com-server") names nobody: the message goes
    // nowhere, silently, as a datagram to an unusable address would.
    if (!network_.ParseAddress(server, &address)) return;
  } else if (network_.ResolveHost(server, &address) != 0) {
    Report("Error I1003 - SyslogServer Hostname could not be resolved.");
    return;
  }
  size_t length = message.size();
  if (rfc3164_mode == kRfc3164CutMode && length > kSyslogUdpCut) length = kSyslogUdpCut;
  // A lost datagram is not reported, and a datagram socket's close has nothing left to lose.
  static_cast<void>(socket->SendTo(message.data(), length, address, port));
  static_cast<void>(socket->Close());
}

void SyslogSender::SendTcp(std::string_view message, CWinSock& connection) {
  if (connection.Send(message) == -1) {
    Report(
        "Error I1002 - Could not send message to Syslog Server over TCP - might be disconnected "
        "while sending...");
  }
  connection.CloseSocket();
}

}  // namespace sentrel
