// The service control manager, both sides.
//
// Client side (OpenSCManagerW, OpenServiceW, CreateServiceW, StartServiceW, ControlService,
// QueryServiceStatus, QueryServiceConfigW, DeleteService): `ServiceManager`, the handles it opens
// and the services they name. Server side (StartServiceCtrlDispatcherW,
// RegisterServiceCtrlHandlerW, SetServiceStatus): `ServiceDispatcher`, used by a service program.
// Every operation answers a Windows result code (1056 already running, 1060 no such service, 1062
// not active, 1063 not started by the control manager, ...). Destroying a handle closes it
// (CloseServiceHandle).
//
// Blocking: ServiceHandle::Start waits until the service's program has connected through its
// dispatcher and ServiceHandle::Control until the service's handler has run, each up to 30 s
// (then kErrorServiceRequestTimeout); a window program calls them from a worker thread or keeps
// its events running. Open on another computer waits for the network; the other client calls
// return at once. StartDispatcher blocks its thread for the whole life of the service.
// Threads: client handles may be used from any thread, each by one thread at a time.
// RegisterControlHandler and SetStatus may be called from any thread of the service.
#ifndef PLATFORM_SERVICE_MANAGER_H_
#define PLATFORM_SERVICE_MANAGER_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform {

// SERVICE_STATUS.
struct ServiceStatus {
  uint32_t service_type = 0;
  uint32_t current_state = 0;
  uint32_t controls_accepted = 0;
  uint32_t win32_exit_code = 0;
  uint32_t service_specific_exit_code = 0;
  uint32_t check_point = 0;
  uint32_t wait_hint = 0;
};

// QUERY_SERVICE_CONFIGW, the parts a service program and the tools use.
struct ServiceConfiguration {
  uint32_t service_type = 0;
  uint32_t start_type = 0;
  uint32_t error_control = 0;
  std::u16string binary_path_name;
  std::u16string service_start_name;  // the account
  std::u16string display_name;
};

// Service types.
inline constexpr uint32_t kServiceKernelDriver = 0x1;
inline constexpr uint32_t kServiceFileSystemDriver = 0x2;
inline constexpr uint32_t kServiceWin32OwnProcess = 0x10;
inline constexpr uint32_t kServiceWin32ShareProcess = 0x20;
inline constexpr uint32_t kServiceInteractiveProcess = 0x100;

// Start types.
inline constexpr uint32_t kServiceBootStart = 0;
inline constexpr uint32_t kServiceSystemStart = 1;
inline constexpr uint32_t kServiceAutoStart = 2;
inline constexpr uint32_t kServiceDemandStart = 3;
inline constexpr uint32_t kServiceDisabled = 4;

// Error control.
inline constexpr uint32_t kServiceErrorIgnore = 0;
inline constexpr uint32_t kServiceErrorNormal = 1;
inline constexpr uint32_t kServiceErrorSevere = 2;
inline constexpr uint32_t kServiceErrorCritical = 3;

// Current states.
inline constexpr uint32_t kServiceStopped = 1;
inline constexpr uint32_t kServiceStartPending = 2;
inline constexpr uint32_t kServiceStopPending = 3;
inline constexpr uint32_t kServiceRunning = 4;
inline constexpr uint32_t kServiceContinuePending = 5;
inline constexpr uint32_t kServicePausePending = 6;
inline constexpr uint32_t kServicePaused = 7;

// Controls accepted.
inline constexpr uint32_t kServiceAcceptStop = 0x1;
inline constexpr uint32_t kServiceAcceptPauseContinue = 0x2;
inline constexpr uint32_t kServiceAcceptShutdown = 0x4;

// Control codes; 128 to 255 are the service's own.
inline constexpr uint32_t kServiceControlStop = 1;
inline constexpr uint32_t kServiceControlPause = 2;
inline constexpr uint32_t kServiceControlContinue = 3;
inline constexpr uint32_t kServiceControlInterrogate = 4;
inline constexpr uint32_t kServiceControlShutdown = 5;
inline constexpr uint32_t kServiceControlUserFirst = 128;
inline constexpr uint32_t kServiceControlUserLast = 255;

// Access rights of the manager.
inline constexpr uint32_t kScManagerConnect = 0x1;
inline constexpr uint32_t kScManagerCreateService = 0x2;
inline constexpr uint32_t kScManagerEnumerateService = 0x4;
inline constexpr uint32_t kScManagerLock = 0x8;
inline constexpr uint32_t kScManagerQueryLockStatus = 0x10;
inline constexpr uint32_t kScManagerModifyBootConfig = 0x20;
inline constexpr uint32_t kScManagerAllAccess = 0xF003F;

// Access rights of a service.
inline constexpr uint32_t kServiceQueryConfig = 0x1;
inline constexpr uint32_t kServiceChangeConfig = 0x2;
inline constexpr uint32_t kServiceQueryStatus = 0x4;
inline constexpr uint32_t kServiceEnumerateDependents = 0x8;
inline constexpr uint32_t kServiceStart = 0x10;
inline constexpr uint32_t kServiceStop = 0x20;
inline constexpr uint32_t kServicePauseContinue = 0x40;
inline constexpr uint32_t kServiceInterrogate = 0x80;
inline constexpr uint32_t kServiceUserDefinedControl = 0x100;
inline constexpr uint32_t kServiceAllAccess = 0xF01FF;
inline constexpr uint32_t kDeleteAccess = 0x10000;
inline constexpr uint32_t kGenericRead = 0x80000000;
inline constexpr uint32_t kGenericWrite = 0x40000000;
inline constexpr uint32_t kGenericExecute = 0x20000000;
inline constexpr uint32_t kGenericAll = 0x10000000;

// Result codes of the service control manager not in result.h.
inline constexpr Result kErrorInvalidName = 123;
inline constexpr Result kErrorDependentServicesRunning = 1051;
inline constexpr Result kErrorInvalidServiceControl = 1052;
inline constexpr Result kErrorServiceRequestTimeout = 1053;
inline constexpr Result kErrorServiceNoThread = 1054;
inline constexpr Result kErrorServiceDisabled = 1058;
inline constexpr Result kErrorProcessAborted = 1067;
inline constexpr Result kErrorServiceNotInExe = 1083;
inline constexpr Result kErrorServiceSpecificError = 1066;

// An open service (SC_HANDLE of OpenServiceW / CreateServiceW).
class ServiceHandle {
 public:
  virtual ~ServiceHandle() = default;

  // StartServiceW: returns once the service's program has connected through its dispatcher (the
  // service then reads start pending). The service entry routine receives the service name
  // followed by `args`.
  [[nodiscard]] virtual Result Start(const std::vector<std::u16string>& args) = 0;
  // ControlService: sends the control to the service's handler. *status receives the latest
  // status the service reported on success and with kErrorInvalidServiceControl,
  // kErrorServiceCannotAcceptCtrl and kErrorServiceNotActive.
  [[nodiscard]] virtual Result Control(uint32_t control, ServiceStatus* status) = 0;
  // QueryServiceStatus: the latest status the service reported.
  [[nodiscard]] virtual Result QueryStatus(ServiceStatus* status) = 0;
  // QueryServiceConfigW.
  [[nodiscard]] virtual Result QueryConfig(ServiceConfiguration* config) = 0;
  // DeleteService: marks the service for deletion; it goes when it is not running.
  [[nodiscard]] virtual Result Delete() = 0;
};

// An open service control manager (SC_HANDLE of OpenSCManagerW).
class ServiceManagerHandle {
 public:
  virtual ~ServiceManagerHandle() = default;

  // OpenServiceW. The name is compared without regard to case.
  [[nodiscard]] virtual Result Open(std::u16string_view name, uint32_t access,
                                    std::unique_ptr<ServiceHandle>* out) = 0;
  // CreateServiceW without load order group, dependencies or password. An empty display name
  // stands for the service name; an empty account for "LocalSystem".
  [[nodiscard]] virtual Result Create(std::u16string_view name, std::u16string_view display_name,
                                      uint32_t access, uint32_t service_type, uint32_t start_type,
                                      uint32_t error_control, std::u16string_view binary_path,
                                      std::u16string_view account,
                                      std::unique_ptr<ServiceHandle>* out) = 0;
};

class ServiceManager {
 public:
  virtual ~ServiceManager() = default;

  // OpenSCManagerW on the active services database. An empty name, or this computer's own name
  // (with or without leading backslashes), is the local computer.
  [[nodiscard]] virtual Result Open(std::u16string_view computer, uint32_t access,
                                    std::unique_ptr<ServiceManagerHandle>* out) = 0;
};

// SERVICE_STATUS_HANDLE; kNoServiceStatusHandle is none.
using ServiceStatusHandle = uintptr_t;
inline constexpr ServiceStatusHandle kNoServiceStatusHandle = 0;

// The service entry routine: receives the service name followed by the start arguments.
using ServiceMainFunction = std::function<void(const std::vector<std::u16string>& args)>;
// The control handler: receives one control code.
using ServiceControlHandler = std::function<void(uint32_t control)>;

// The server side, used by a service program. One service per process.
class ServiceDispatcher {
 public:
  virtual ~ServiceDispatcher() = default;

  // StartServiceCtrlDispatcherW with one entry: connects to the control manager, runs `main` on
  // a new thread when the manager starts the service, and runs the control handler on the
  // calling thread for every control. Returns when `main` has returned. Fails at once with
  // kErrorFailedServiceControllerConnect when the program was not started by the manager.
  [[nodiscard]] virtual Result StartDispatcher(std::u16string_view name,
                                               ServiceMainFunction main) = 0;
  // RegisterServiceCtrlHandlerW: called from the service entry routine.
  [[nodiscard]] virtual Result RegisterControlHandler(std::u16string_view name,
                                                      ServiceControlHandler handler,
                                                      ServiceStatusHandle* out) = 0;
  // SetServiceStatus: reports the whole record; any process reads it with QueryStatus.
  [[nodiscard]] virtual Result SetStatus(ServiceStatusHandle handle,
                                         const ServiceStatus& status) = 0;
};

}  // namespace platform

#endif  // PLATFORM_SERVICE_MANAGER_H_
