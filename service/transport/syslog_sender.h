// Delivery of one finished syslog message to one server, by UDP (a socket per message) or by TCP
// (on the connection the caller opened for this message).
#ifndef SERVICE_TRANSPORT_SYSLOG_SENDER_H_
#define SERVICE_TRANSPORT_SYSLOG_SENDER_H_

#include <cstdint>
#include <string_view>

#include "platform/debug_output.h"
#include "platform/network.h"
#include "service/base/event_reporter.h"
#include "service/transport/cwinsock.h"

namespace sentrel {

// Protocol numbers of nProtoType and nProtoTypeBackup; other values send nothing.
inline constexpr uint32_t kSyslogUdp = 0;
inline constexpr uint32_t kSyslogTcp = 1;

// TCP syslog always connects to this port; the services database is not asked.
inline constexpr uint16_t kSyslogTcpPort = 514;
// UDP datagrams are cut to this many bytes when nRFC3164Mode is kRfc3164CutMode.
inline constexpr size_t kSyslogUdpCut = 1024;
inline constexpr uint32_t kRfc3164CutMode = 2;

class SyslogSender {
 public:
  // All three must outlive the sender.
  SyslogSender(platform::Network& network, platform::DebugOutput& debug, EventReporter& reporter);

  // The "syslog"/"udp" port of the services database in network byte order; 514 without one.
  uint16_t GetSyslogPort();

  // Sends `message` (encoded bytes, sent exactly as given) to `server` (szTarget or szTarget2).
  // UDP (the socket library started by the caller): a socket of its own, bound to any address,
  // to GetSyslogPort(); the message is cut to 1024 bytes when `rfc3164_mode` is 2. TCP: on
  // `connection`, already connected by the caller, which is closed afterwards. Failures are
  // reported as events and never retried.
  void SendToSyslogServer(std::string_view server, std::string_view message, uint32_t protocol,
                          CWinSock& connection, uint32_t rfc3164_mode);

 private:
  void SendUdp(std::string_view server, std::string_view message, uint32_t rfc3164_mode);
  void SendTcp(std::string_view message, CWinSock& connection);
  void Report(std::string_view text);

  platform::Network& network_;
  platform::DebugOutput& debug_;
  EventReporter& reporter_;
};

}  // namespace sentrel

#endif  // SERVICE_TRANSPORT_SYSLOG_SENDER_H_
