// Facts about the computer the program runs on.
//
// Blocking: none. Threads: any thread.
#ifndef PLATFORM_COMPUTER_H_
#define PLATFORM_COMPUTER_H_

#include <cstdint>
#include <string>

#include "platform/result.h"

namespace platform {

class Computer {
 public:
  virtual ~Computer() = default;

  // GetComputerNameW: the NetBIOS name, upper case (SRV1).
  virtual std::u16string NetBiosName() = 0;
  // gethostname: the DNS host name (srv1). kSuccess or a socket error code.
  [[nodiscard]] virtual Result HostName(std::string* name) = 0;
  // GetVersion: the operating system's major and minor version (4.0, 5.0, 5.2, ...).
  virtual uint32_t OsMajorVersion() = 0;
  virtual uint32_t OsMinorVersion() = 0;
};

}  // namespace platform

#endif  // PLATFORM_COMPUTER_H_
