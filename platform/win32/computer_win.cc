// The computer's facts through GetComputerNameW, gethostname and GetVersion.

// winsock2.h must come before windows.h.
#include <winsock2.h>

#include <windows.h>

#include "platform/win32/wide_text_win.h"
#include "platform/win32/win32_parts.h"

namespace platform::win32 {
namespace {

class Win32Computer : public Computer {
 public:
  std::u16string NetBiosName() override {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &length)) return {};
    return FromWide(name, length);
  }

  // Winsock 1.1 is started and cleaned up around the one call, as the program's other socket
  // users do for themselves; a failure answers the Windows Sockets error code.
  [[nodiscard]] Result HostName(std::string* name) override {
    WSADATA wsa;
    const int started = WSAStartup(MAKEWORD(1, 1), &wsa);
    if (started != 0) return static_cast<Result>(started);
    char buffer[256] = {};
    Result r = kSuccess;
    if (gethostname(buffer, sizeof buffer) != 0) {
      r = static_cast<Result>(WSAGetLastError());
    } else {
      buffer[sizeof buffer - 1] = '\0';
      *name = buffer;
    }
    WSACleanup();
    return r;
  }

  uint32_t OsMajorVersion() override { return LOBYTE(LOWORD(GetVersion())); }
  uint32_t OsMinorVersion() override { return HIBYTE(LOWORD(GetVersion())); }
};

}  // namespace

std::unique_ptr<Computer> MakeComputer() { return std::make_unique<Win32Computer>(); }

}  // namespace platform::win32
