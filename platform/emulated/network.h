// Windows Sockets on an emulated computer: real BSD sockets of the host, with the emulated
// computer's own host name, hosts file and services file, and errors as Windows Sockets codes.
#ifndef PLATFORM_EMULATED_NETWORK_H_
#define PLATFORM_EMULATED_NETWORK_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/computer.h"
#include "platform/emulated/watched_file.h"
#include "platform/network.h"

namespace platform::emulated {

class EmulatedNetwork : public Network {
 public:
  // `host_path` maps a Windows path of the computer to a host file (Machine::HostPath);
  // `system_root` is the computer's %SystemRoot% ("C:\WINDOWS"). `computer` must outlive this.
  EmulatedNetwork(Computer& computer, std::function<std::string(std::u16string_view)> host_path,
                  std::u16string system_root);

  // Like Winsock, the library is started per process: each successful Startup counts once and
  // each Cleanup takes one back; every other call fails with kWsaNotinitialised at count 0.
  // Versions 1.0 to 2.2 are granted as asked, higher ones get 2.2, lower ones fail with
  // kWsaVernotsupported.
  [[nodiscard]] int Startup(uint16_t version, uint16_t* granted) override;
  [[nodiscard]] int Cleanup() override;
  [[nodiscard]] int CreateSocket(int family, int type, int protocol,
                                 std::unique_ptr<Socket>* out) override;
  // The computer's DNS host name.
  [[nodiscard]] int GetHostName(std::string* name) override;
  // The computer's hosts file first (names compared without regard to case), then the host's
  // resolver (IPv4 only).
  [[nodiscard]] int ResolveHost(std::string_view name, uint32_t* address) override;
  // inet_addr: one to four parts, each decimal, octal (leading 0) or hex (0x).
  bool ParseAddress(std::string_view text, uint32_t* address) override;
  // The computer's services file ("syslog  514/udp  # comment"); an empty protocol takes the
  // first entry of any protocol. The file is read again only when it changed (see WatchedFile),
  // and each question is answered from it once per version of the file.
  bool ServicePort(std::string_view service, std::string_view protocol, uint16_t* port) override;

  // The IPv4 address the computer's hosts file gives `name` (compared without regard to case);
  // false when the file does not name it. Needs no Startup. The file is read again only when it
  // changed (see WatchedFile).
  bool LookUpHostsFile(std::string_view name, uint32_t* address);

  // Where the computer keeps its hosts and services files (host paths).
  std::string HostsFile() const;
  std::string ServicesFile() const;

 private:
  Computer& computer_;
  std::function<std::string(std::u16string_view)> host_path_;
  std::u16string system_root_;
  WatchedFile hosts_;
  WatchedFile services_;
  // ServicePort's answers for the services file's version services_version_, by the service and
  // protocol in lower case; 0 for no entry. Guarded by the services file's lock.
  std::map<std::string, uint16_t> service_ports_;
  uint64_t services_version_ = 0;
};

// The Windows Sockets code of a host errno value (ECONNREFUSED -> 10061, ...).
[[nodiscard]] int WsaErrorFromErrno(int error);

}  // namespace platform::emulated

#endif  // PLATFORM_EMULATED_NETWORK_H_
