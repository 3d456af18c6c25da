// Module WinNTServices: start, stop and query a service through the service control manager of
// a computer (an empty name is this computer). Each call opens the manager and the service,
// does its one thing and closes both again.
#ifndef CLIENT_CORE_WIN_NT_SERVICES_H_
#define CLIENT_CORE_WIN_NT_SERVICES_H_

#include <cstdint>
#include <string_view>

#include "platform/platform.h"

namespace sentrel::client {

using platform::Result;

// The forwarding service's name in the service control manager.
inline constexpr char16_t kServiceName[] = u"Brinmoor Vaskwell";

// What a state query found. The state number and the failure code are kept apart: the platform's
// error codes and its state numbers overlap (2 is both "file not found" and "start pending").
struct ServiceQuery {
  Result error = platform::kSuccess;  // 0: `state` holds the service's current state
  uint32_t state = 0;                 // kServiceStopped, kServiceRunning, ...

  bool pending() const {
    return error == platform::kSuccess &&
           (state == platform::kServiceStartPending || state == platform::kServiceStopPending);
  }
};

// StartServiceW without arguments: 0, or the code of the step that failed.
Result StartNTService(platform::Platform& platform, std::u16string_view computer,
                      std::u16string_view service);
// ControlService(stop): 0, or the code of the step that failed (1062: it was not running).
Result StopNTService(platform::Platform& platform, std::u16string_view computer,
                     std::u16string_view service);
// QueryServiceStatus: the current state, or the code of the step that failed (1060: the service
// does not exist).
ServiceQuery QueryNTServiceState(platform::Platform& platform, std::u16string_view computer,
                                 std::u16string_view service);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_WIN_NT_SERVICES_H_
