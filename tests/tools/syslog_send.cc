// Drives the syslog transport once, as the logger thread will: for the receiver tests, before the
// whole service runs.
//
//   syslog_send init DIR
//       creates an emulated computer (no sample records) in DIR
//   syslog_send send [--mode N] [--count K] PROTOCOL TARGET FILE
//       sends the bytes of FILE ("-": standard input) K times (default 1) to TARGET with protocol
//       number PROTOCOL and nRFC3164Mode N (default 0), on the computer named by NTBOX_MACHINE.
//       UDP: the socket library is started around the messages as a polling pass does. TCP: each
//       message gets its own OpenSocket and SetTarget(TARGET, 514) first; "SetTarget R" is
//       printed for each, and a failed one ends the program with status 4.
//
// Every event the transport reports is printed as "event TYPE ID TEXT", with CR and LF in the text
// written as \r and \n. Trace lines go where NTBOX_DEBUG says.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>

#include "platform/emulated/emulated_platform.h"
#include "service/transport/cwinsock.h"
#include "service/transport/syslog_sender.h"

namespace {

class PrintingReporter : public sentrel::EventReporter {
 public:
  void ReportServiceEvent(uint16_t type, uint32_t event_id, const char16_t* text1,
                          const char16_t* text2, const char16_t* text3) override {
    std::string line = "event " + std::to_string(type) + " " + std::to_string(event_id) + " ";
    for (const char16_t* p = text1; p && *p; ++p) {
      if (*p == u'\r') {
        line += "\\r";
      } else if (*p == u'\n') {
        line += "\\n";
      } else {
        line += static_cast<char>(*p < 0x80 ? *p : '?');
      }
    }
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
  }
};

int Usage() {
  std::fprintf(stderr,
               "usage: syslog_send init DIR\n"
               "       syslog_send send [--mode N] [--count K] PROTOCOL TARGET FILE\n");
  return 2;
}

bool ReadMessage(const std::string& file, std::string* bytes) {
  if (file == "-") {
    std::ostringstream all;
    all << std::cin.rdbuf();
    *bytes = all.str();
    return true;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

int Init(const std::string& dir) {
  platform::emulated::ComputerOptions options;
  options.seed = false;
  options.time_zone = "UTC";
  std::string error;
  if (!platform::emulated::EmulatedPlatform::Create(dir, options, &error)) {
    std::fprintf(stderr, "syslog_send init: %s\n", error.c_str());
    return 1;
  }
  return 0;
}

int Send(int argc, char** argv) {
  uint32_t mode = 0;
  int count = 1;
  int i = 2;
  for (; i + 1 < argc && std::strncmp(argv[i], "--", 2) == 0; i += 2) {
    if (std::strcmp(argv[i], "--mode") == 0) {
      mode = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
    } else if (std::strcmp(argv[i], "--count") == 0) {
      count = std::atoi(argv[i + 1]);
    } else {
      return Usage();
    }
  }
  if (argc - i != 3) return Usage();
  const uint32_t protocol = static_cast<uint32_t>(std::strtoul(argv[i], nullptr, 10));
  const std::string target = argv[i + 1];
  std::string message;
  if (!ReadMessage(argv[i + 2], &message)) {
    std::fprintf(stderr, "syslog_send: cannot read %s\n", argv[i + 2]);
    return 1;
  }

  std::string error;
  auto platform = platform::OpenHostPlatform(&error);
  if (!platform) {
    std::fprintf(stderr, "syslog_send: %s\n", error.c_str());
    return 1;
  }
  PrintingReporter reporter;
  auto& network = platform->network();
  sentrel::SyslogSender sender(network, platform->debug(), reporter);
  sentrel::CWinSock connection(network, platform->debug());
  const bool udp = protocol == sentrel::kSyslogUdp;
  if (udp && sentrel::StartSocketLibrary(network) != 0) {
    std::fprintf(stderr, "syslog_send: the socket library did not start\n");
    return 1;
  }
  int status = 0;
  for (int n = 0; n < count; ++n) {
    if (protocol == sentrel::kSyslogTcp) {
      if (connection.OpenSocket(platform::kAfInet, platform::kSockStream, 0) ==
          platform::kInvalidSocket) {
        std::printf("OpenSocket failed\n");
        status = 4;
        break;
      }
      const int r = connection.SetTarget(target.c_str(), sentrel::kSyslogTcpPort);
      std::printf("SetTarget %d\n", r);
      if (r != 0) {
        status = 4;
        break;
      }
    }
    sender.SendToSyslogServer(target, message, protocol, connection, mode);
  }
  if (udp) sentrel::CleanupSocketLibrary(network);
  std::fflush(stdout);
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], "init") == 0) return Init(argv[2]);
  if (argc >= 2 && std::strcmp(argv[1], "send") == 0) return Send(argc, argv);
  return Usage();
}
